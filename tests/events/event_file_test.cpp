#include "error_number.h"
#include "event_xpath.h"
#include "events/event_session.h"
#include "fake_operator.h"
#include "fault_loop.h"
#include "file_size_limit.h"
#include "own_settings.h"
#include "support/files.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <cstdlib>
#include <expat.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {
namespace fs = std::filesystem;

// The file as expat (not the library we write with) reads it: one token per element start
// ("<name id=n>"), end ("</name>"), text run ("'text'") and comment ("<!-->").
std::vector<std::string> expat_tokens(const std::string& bytes) {
    struct State {
        std::vector<std::string> tokens;
        std::string text;
        void flush() {
            if (!text.empty())
                tokens.push_back("'" + text + "'");
            text.clear();
        }
    } state;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attrs) {
            auto* s = static_cast<State*>(data);
            s->flush();
            std::string token = std::string("<") + name;
            for (int i = 0; attrs[i]; i += 2)
                token += std::string(" ") + attrs[i] + "=" + attrs[i + 1];
            s->tokens.push_back(token + ">");
        },
        [](void* data, const XML_Char* name) {
            auto* s = static_cast<State*>(data);
            s->flush();
            s->tokens.push_back(std::string("</") + name + ">");
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int len) {
        static_cast<State*>(data)->text.append(text, static_cast<std::size_t>(len));
    });
    XML_SetCommentHandler(parser, [](void* data, const XML_Char*) {
        auto* s = static_cast<State*>(data);
        s->flush();
        s->tokens.push_back("<!-->");
    });
    const bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    EXPECT_TRUE(ok) << "expat cannot read the file";
    return state.tokens;
}

// The token stream the skeleton must give (expat turns each CR LF into one LF).
std::vector<std::string> expected_skeleton(const std::string& name, const std::string& day) {
    std::vector<std::string> t{"<Veltro_event_file>", "<!-->", "'\n'"};
    auto field = [&t](const std::string& element, const std::string& text = {}) {
        t.push_back("<" + element + ">");
        if (!text.empty())
            t.push_back("'" + text + "'");
        t.push_back("</" + element + ">");
        t.push_back("'\n'");
    };
    field("event_name", name);
    field("event_date");
    field("event_day", day);
    field("event_venue");
    for (int h = 1; h <= 100; ++h) {
        t.push_back("<heat id=" + std::to_string(h) + ">");
        for (const char* f : {"heat_time", "heat_length", "heat_description", "heat_name"})
            field(f);
        for (int b = 1; b <= 8; ++b) {
            t.push_back("<box id=" + std::to_string(b) + ">");
            for (const char* f : {"dog_name", "dog_weight", "dog_heat_time", "dog_heat_rank",
                                  "dog_heat_split_time", "dog_heat_split_rank"})
                field(f);
            t.push_back("</box>");
        }
        t.push_back("</heat>");
    }
    t.push_back("</Veltro_event_file>");
    return t;
}

class EventFileTest : public testing::OwnSettingsTest {
protected:
    // A session whose event folder has the characters that the file-name rule replaces.
    EventSession make_session() {
        EventSession s(dir.file("Events-2024, A"));
        s.report_error = [this](const VeltroError& e, const std::string& where) {
            reported.push_back(std::to_string(e.number()) + " " + where);
        };
        return s;
    }

    std::string create(EventSession& s, const std::string& name, const std::string& day) {
        s.fields().event_name = name;
        s.fields().day = day;
        s.create_new_event_file();
        return s.current_event_file();
    }

    static std::string bytes(const std::string& path) { return read_whole_file(path).value_or("<missing>"); }

    std::vector<std::string> reported;
};

TEST_F(EventFileTest, NewFileHasTheSkeletonInOrderAsAnotherParserReadsIt) {
    EventSession s = make_session();
    const std::string path = create(s, "Spring Cup", "2012-05-06");

    EXPECT_EQ(path, dir.file("Events-2024, A/Spring Cup 2012_05_06.xml"));
    const std::string raw = bytes(path);
    EXPECT_TRUE(raw.starts_with(R"(<?xml version="1.0" encoding="iso-8859-1"?>)")) << raw.substr(0, 60);
    EXPECT_NE(raw.find("<!--XML file containing Veltro event definition file, created at: "),
              std::string::npos);
    EXPECT_EQ(expat_tokens(raw), expected_skeleton("Spring Cup", "2012-05-06"));

    // Every separator is CR LF: 5 at the top, 4 per heat, 6 per box.
    std::size_t crlf = 0, lf = 0;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (raw[i] == '\n')
            (i > 0 && raw[i - 1] == '\r' ? crlf : lf)++;
    EXPECT_EQ(crlf, 5u + 100u * (4u + 8u * 6u));
    EXPECT_EQ(lf, 0u);

    EXPECT_EQ(Read_Setting(keys::current_event_file), path);
    EXPECT_TRUE(s.file_open());
    EXPECT_TRUE(s.event_valid());
    EXPECT_EQ(s.Event_name(), "Spring Cup");
    EXPECT_EQ(s.Get_day(), "2012-05-06");
}

TEST_F(EventFileTest, FileNameRuleTouchesTheNamePartOnly) {
    EventSession s = make_session();
    EXPECT_EQ(create(s, "A:B", "1-2"), dir.file("Events-2024, A/A_B 1_2.xml"));
    EXPECT_TRUE(fs::exists(dir.file("Events-2024, A/A_B 1_2.xml")));
    // A day typed with slashes still gives one file in the event folder.
    EXPECT_EQ(create(s, "Riverside", "12/06/2026"), dir.file("Events-2024, A/Riverside 12_06_2026.xml"));
    // A slash in the name cannot reach another folder.
    EXPECT_EQ(create(s, "../x", ""), dir.file("Events-2024, A/.._x.xml"));

    s.fields().event_name.clear();
    s.create_new_event_file();
    EXPECT_EQ(op.last_message(), "Please enter Event Name before creating the event file!");
    EXPECT_EQ(s.current_event_file(), dir.file("Events-2024, A/.._x.xml"));
}

TEST_F(EventFileTest, EventFolderIsMadeInTheDataFolder) {
    const char* old = std::getenv("VELTRO_DATA_DIR");
    const std::string saved = old ? old : "";
    setenv("VELTRO_DATA_DIR", dir.file("data").c_str(), 1);
    EXPECT_EQ(default_event_folder(), dir.file("data/Veltro Event Files"));
    EXPECT_TRUE(fs::is_directory(dir.file("data/Veltro Event Files")));
    if (old)
        setenv("VELTRO_DATA_DIR", saved.c_str(), 1);
    else
        unsetenv("VELTRO_DATA_DIR");
}

TEST_F(EventFileTest, OverwriteIsAskedAndNoKeepsTheOldFile) {
    EventSession s = make_session();
    const std::string path = create(s, "Cup", "d");
    s.write_dog_name(1, "Old Dog");
    s.XML_to_File();
    const std::string before = bytes(path);

    op.answers = {false};
    create(s, "Cup", "d");
    ASSERT_EQ(op.questions.size(), 1u);
    EXPECT_EQ(op.questions[0], path + "\r\nThis event file already exists. Overwrite?");
    EXPECT_EQ(bytes(path), before);
    EXPECT_EQ(s.current_event_file(), path);

    // No, while another event is open: that event stays the current one, name and file unchanged.
    const std::string other = create(s, "Other", "d");
    const std::string other_before = bytes(other);
    op.answers = {false};
    create(s, "Cup", "d");
    EXPECT_EQ(s.current_event_file(), other);
    EXPECT_EQ(s.fields().event_name, "Other");
    s.XML_to_File();
    EXPECT_EQ(bytes(other), other_before);
    EXPECT_EQ(bytes(path), before);

    op.answers = {true};
    create(s, "Cup", "d");
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), "");
    EXPECT_NE(bytes(path), before);
}

TEST_F(EventFileTest, NonAsciiNamesRoundTripThroughIso88591) {
    std::string path;
    {
        EventSession s = make_session();
        path = create(s, "Grand Prix Årø", "Sø 1");
        ASSERT_TRUE(s.write_dog_name(3, "Fröken Ñandú"));
        s.current_heat(100);
        s.write_heat_name("Final é");
        s.write_heat_length("480");
        s.write_heat_time("21:30");
        s.document().dog_name(100, 8, "Zoë"); // the import reaches boxes 7 and 8
        s.XML_to_File();
    }
    const std::string raw = bytes(path);
    EXPECT_NE(raw.find("Fr\xF6ken \xD1"
                       "and\xFA"),
              std::string::npos);
    EXPECT_EQ(raw.find("\xC3"), std::string::npos) << "UTF-8 bytes leaked into the file";

    EventSession again = make_session();
    again.editor_start_up();
    EXPECT_EQ(again.fields().event_name, "Grand Prix Årø");
    EXPECT_EQ(again.fields().day, "Sø 1");
    EXPECT_EQ(again.fields().dog_names[2], "Fröken Ñandú");
    EXPECT_EQ(again.Heat_Name(100), "Final é");
    EXPECT_EQ(again.Heat_Length(100), "480");
    EXPECT_EQ(again.document().heat_time(100), "21:30");
    EXPECT_EQ(again.Reg_Dog_Name(100, 8), "Zoë");

    // Saving an unchanged loaded file gives the same bytes: layout and separators are kept.
    again.XML_to_File();
    EXPECT_EQ(bytes(path), raw);
}

TEST_F(EventFileTest, EightBitFileWithoutDeclarationIsReadAsIso88591) {
    const std::string path = dir.file("old.xml");
    std::string heats;
    for (int h = 1; h <= 100; ++h) {
        heats += "<heat id=\"" + std::to_string(h) + "\"><heat_time/><heat_length/><heat_name/>";
        for (int b = 1; b <= 6; ++b)
            heats += "<box id=\"" + std::to_string(b) + "\"><dog_name>" + (h == 1 && b == 1 ? "\xC5sa" : "") +
                     "</dog_name></box>";
        heats += "</heat>";
    }
    ASSERT_EQ(
        write_file_atomically(path, "<Veltro_event_file><event_name>K\xF6penick</event_name><event_day/>" +
                                        heats + "</Veltro_event_file>"),
        0);
    EventSession s = make_session();
    s.open_another_event_file(path);
    EXPECT_EQ(s.fields().event_name, "Köpenick");
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), "Åsa");
    // Written back, the file says what it is.
    s.XML_to_File();
    EXPECT_TRUE(bytes(path).starts_with(R"(<?xml version="1.0" encoding="iso-8859-1"?>)"));
    EXPECT_NE(bytes(path).find("\xC5sa"), std::string::npos);
}

TEST_F(EventFileTest, ReadOnlyFileIsRefusedEveryTimeAndLeftUnchanged) {
    EventSession s = make_session();
    const std::string path = create(s, "Cup", "d");
    // No write bit for anyone: refused also for the superuser, who runs the tests in CI.
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = bytes(path);

    s.write_dog_name(1, "Changed");
    for (int attempt = 0; attempt < 2; ++attempt) {
        op.messages.clear();
        s.XML_to_File();
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(op.messages[0].text, "Event file is Read-Only!\r\n" + path);
    }
    EXPECT_EQ(bytes(path), before);
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), "Changed"); // kept in memory
}

TEST_F(EventFileTest, FailedSaveLeavesTheOldFileAndNoTemporary) {
    EventSession s = make_session();
    const std::string path = create(s, "Cup", "d");
    s.write_dog_name(2, "Saved Dog");
    s.XML_to_File();
    const std::string before = bytes(path);

    s.write_dog_name(2, "Lost Dog");
    {
        testing::FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(s.XML_to_File(), VeltroError);
    }

    EXPECT_EQ(bytes(path), before);
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
        EXPECT_EQ(entry.path().string(), path) << "left behind: " << entry.path();
}

// The disk failing at every write-like step of a save: the old file stays whole, the names typed
// stay in memory and reach the file with the next save.
TEST_F(EventFileTest, SaveFailingAtAnyStepKeepsTheOldFile) {
    EventSession s = make_session();
    const std::string path = create(s, "Cup", "d");
    s.write_dog_name(2, "Saved Dog");
    s.XML_to_File();
    const std::string earlier = bytes(path);

    testing::SavePath save;
    save.prepare = [&] {
        ASSERT_EQ(write_file_atomically(path, earlier), 0);
        s.open_another_event_file(path);
        ASSERT_EQ(s.Reg_Dog_Name(1, 2), "Saved Dog");
        ASSERT_TRUE(s.write_dog_name(2, "New Dog"));
    };
    save.save = [&] {
        try {
            s.XML_to_File();
            return std::string();
        } catch (const VeltroError& e) {
            EXPECT_EQ(s.Reg_Dog_Name(1, 2), "New Dog") << "kept in memory";
            return e.description();
        }
    };
    save.expect_earlier = [&] {
        EXPECT_EQ(bytes(path), earlier);
        EXPECT_EQ(testing::files_in(fs::path(path).parent_path()),
                  std::set<std::string>{fs::path(path).filename().string()});
    };
    save.expect_saved = [&] {
        EventSession reader = make_session();
        reader.open_another_event_file(path);
        EXPECT_EQ(reader.Reg_Dog_Name(1, 2), "New Dog");
        EXPECT_EQ(reader.Event_name(), "Cup");
    };
    save.must_mention = "Could not write " + path;
    testing::run_fault_loops(save, testing::write_and_sync_faults());
}

TEST_F(EventFileTest, StartUpFollowsTheStoredSetting) {
    int shown = 0;
    {
        EventSession s = make_session();
        s.show_heat_data = [&] { ++shown; };
        s.editor_start_up(); // nothing stored
        EXPECT_EQ(shown, 1);
        EXPECT_FALSE(s.event_valid());
        EXPECT_FALSE(s.file_open());
    }

    Write_Setting(keys::current_event_file, dir.file("gone.xml"));
    EventSession missing = make_session();
    missing.editor_start_up();
    EXPECT_EQ(op.last_message(), "Stored Event File name not found!\r\n" + dir.file("gone.xml"));
    EXPECT_EQ(missing.current_event_file(), "");
    EXPECT_FALSE(missing.event_valid());

    // A zero-length file opens for editing but is not a valid event; it is not parsed.
    std::ofstream(dir.file("empty.xml")).close();
    Write_Setting(keys::current_event_file, dir.file("empty.xml"));
    EventSession empty = make_session();
    empty.editor_start_up();
    EXPECT_EQ(op.last_message(), "Invalid Event File! empty.xml");
    EXPECT_FALSE(empty.event_valid());
    EXPECT_TRUE(empty.file_open());
    EXPECT_TRUE(reported.empty());
}

TEST_F(EventFileTest, QueriesFollowTheFileOpenFlag) {
    EventSession s = make_session();
    s.document().event_name("In memory");
    s.document().heat_name(2, "H2");
    s.document().dog_name(2, 3, "D");
    // No file open: the skeleton exists but the main window's queries show nothing of it...
    EXPECT_EQ(s.Event_name(), "");
    EXPECT_EQ(s.Heat_Name(2), "");
    EXPECT_EQ(s.Heat_Length(500), "");
    // ...except the dog name and the day, which do not look at the flag.
    EXPECT_EQ(s.Reg_Dog_Name(2, 3), "D");
    EXPECT_EQ(s.Get_day(), "");
    EXPECT_FALSE(s.write_dog_name(1, "x"));
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), "");

    // Outside the skeleton the access fails through the error path.
    for (auto [heat, box] :
         {std::pair<std::int16_t, std::int16_t>{0, 1}, {101, 1}, {1, 0}, {1, 9}, {-1, -1}}) {
        EXPECT_EQ(testing::error_number([&s, h = heat, b = box] { s.Reg_Dog_Name(h, b); }), 91)
            << heat << "/" << box;
    }
    EXPECT_THROW(s.current_heat(101), VeltroError);
}

// A length kept from another heat would be printed on that heat's speaker card.
TEST_F(EventFileTest, HeatLoadShowsEachHeatsOwnLengthEvenAnEmptyOne) {
    EventSession s = make_session();
    create(s, "Cup", "d");
    s.current_heat(3);
    s.write_heat_name("Third");
    s.write_heat_length("480 m");
    s.write_dog_name(6, "Six");
    s.Load_Heat_Data();
    EXPECT_EQ(s.fields().dog_names[5], "Six");

    s.current_heat(1);
    s.Load_Heat_Data();
    EXPECT_EQ(s.fields().heat_name, "");
    EXPECT_EQ(s.fields().heat_length, "");
    EXPECT_EQ(s.fields().dog_names[5], "");
}

TEST_F(EventFileTest, UnreadableFilesFailWithoutHarm) {
    const std::string path = dir.file("broken.xml");
    const std::string garbage = "<Veltro_event_file><event_name>half";
    ASSERT_EQ(write_file_atomically(path, garbage), 0);

    EventSession s = make_session();
    EXPECT_THROW(s.open_another_event_file(path), VeltroError);
    // Nothing of another event can be written over the bad file, and accesses fail cleanly.
    s.XML_to_File();
    EXPECT_EQ(bytes(path), garbage);
    EXPECT_THROW(s.Load_Heat_Data(), VeltroError);

    // Well-formed but not an event file: the first access to a missing element fails.
    ASSERT_EQ(write_file_atomically(path, "<other/>"), 0);
    EXPECT_THROW(s.open_another_event_file(path), VeltroError);
    s.XML_to_File();
    EXPECT_EQ(bytes(path), "<other/>");

    // A name that ISO-8859-1 cannot hold would be saved as something unreadable: refused on load.
    const std::string foreign = "<Veltro_event_file><event_name>x</event_name><event_day/><\xE2\x82\xAC/>"
                                "</Veltro_event_file>";
    ASSERT_EQ(write_file_atomically(path, foreign), 0);
    EXPECT_THROW(s.open_another_event_file(path), VeltroError);
    s.XML_to_File();
    EXPECT_EQ(bytes(path), foreign);

    // Marked as UTF-8 with a stray byte in a name: refused, naming where, not saved without it.
    const std::string stray = "\xEF\xBB\xBF<Veltro_event_file><event_name>x\xFFy</event_name><event_day/>"
                              "</Veltro_event_file>";
    ASSERT_EQ(write_file_atomically(path, stray), 0);
    try {
        s.open_another_event_file(path);
        ADD_FAILURE() << "a stray byte was taken";
    } catch (const VeltroError& e) {
        EXPECT_NE(e.description().find("<event_name> is not valid UTF-8"), std::string::npos)
            << e.description();
    }
    EXPECT_EQ(bytes(path), stray);

    // A file that vanished: reported, and no valid event.
    EXPECT_FALSE(s.Validate_XML_file(dir.file("nowhere.xml")));
    EXPECT_FALSE(s.event_valid());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "53 Validate_XML_file of Form Form_event_registration");
}

TEST_F(EventFileTest, CloseForgetsTheFileButNotTheValidFlag) {
    EventSession s = make_session();
    const std::string path = create(s, "Cup", "d");
    s.write_dog_name(1, "Dog");
    s.close_event_file();

    EXPECT_FALSE(s.file_open());
    EXPECT_TRUE(s.event_valid());
    EXPECT_EQ(s.current_event_file(), "");
    EXPECT_EQ(Read_Setting(keys::current_event_file), "N/A");
    EXPECT_EQ(s.fields().file_label, "No event file");
    EXPECT_EQ(s.fields().event_name, "");
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), ""); // a fresh skeleton
    s.XML_to_File();                     // no file: nothing happens
    EXPECT_EQ(s.Event_name(), "");

    s.open_another_event_file(path);
    EXPECT_EQ(s.Event_name(), "Cup");
    EXPECT_EQ(s.Reg_Dog_Name(1, 1), ""); // the name was never saved
    s.no_event_file();
    EXPECT_FALSE(s.event_valid());
    EXPECT_EQ(Read_Setting(keys::current_event_file), "N/A");
    // Typing after it is refused, not taken into a document no file will receive.
    EXPECT_FALSE(s.file_open());
    EXPECT_FALSE(s.write_dog_name(1, "Lost"));
}

// Every heat and box read, then written, is the node the XPath text names.
void expect_xpath_nodes(EventDocument& doc, const std::string& file) {
    auto expect = [&](const std::string& path, auto read, auto write) {
        EXPECT_EQ(text_or_none(read), xpath_text(doc, path)) << file << path;
        text_or_none([&] { return write(), std::string(); });
        EXPECT_EQ(text_or_none(read), xpath_text(doc, path)) << file << path;
    };
    for (std::int16_t heat = 0; heat <= 3; ++heat) {
        expect(
            EventDocument::heat_path(heat, "heat_name"), [&] { return doc.heat_name(heat); },
            [&] { doc.heat_name(heat, "w"); });
        for (std::int16_t box = 1; box <= 3; ++box)
            expect(
                EventDocument::dog_name_path(heat, box), [&] { return doc.dog_name(heat, box); },
                [&] { doc.dog_name(heat, box, "w"); });
    }
}

TEST_F(EventFileTest, HeatsAndBoxesAreTheNodesTheFilesXPathTextsNameEvenInOddFiles) {
    const std::string odd_files[] = {
        // the same heat twice, the first without its fields
        "<f><heat id='1'/><heat id='1'><heat_name>second</heat_name><box id='1'><dog_name>B</dog_name>"
        "</box></heat></f>",
        // a heat inside a box of another, gone when that box's name is written
        "<f><heat id='1'><box id='1'><dog_name><heat id='2'><heat_name>nested</heat_name></heat></dog_name>"
        "</box></heat></f>",
        // an instruction named like a field; a box twice, its fields in the second; other attributes
        "<f><heat id='1'><?heat_name pi?><heat_name><![CDATA[element]]></heat_name><box id='2'/><box n='x' "
        "id='2'><dog_name>second box</dog_name></box></heat></f>",
        // two ids on one heat; ids that are not the heat's number as written
        "<f><heat id='1' id='2'><heat_name>two ids</heat_name></heat><heat id='01'><heat_name>zero"
        "</heat_name></heat><heat><heat_name>no id</heat_name></heat></f>",
        // heats in the event name, gone when it is written
        "<event_name><heat id='1'><heat_name>inside</heat_name><box id='1'><dog_name>D</dog_name></box>"
        "</heat></event_name>",
        // a heat at the top
        "<heat id='1'><heat_name>top</heat_name></heat>"};
    for (const std::string& file : odd_files) {
        EventDocument doc;
        doc.load(file);
        expect_xpath_nodes(doc, file);
        text_or_none([&] { return doc.event_name("emptied"), std::string(); });
        expect_xpath_nodes(doc, file);
        EventDocument moved(std::move(doc));
        expect_xpath_nodes(moved, file);
    }
    EventDocument skeleton;
    skeleton.Create_Veltro_Race_File();
    expect_xpath_nodes(skeleton, "skeleton");
}

} // namespace
} // namespace veltro
