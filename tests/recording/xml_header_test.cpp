#include "error_number.h"
#include "fake_operator.h"
#include "recording/header_properties.h"
#include "recording/xml_header.h"
#include "support/files.h"
#include "support/process_facts.h"
#include "support/veltro_error.h"
#include "temp_dir.h"
#include "veltro_version.h"

#include <cstdlib>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <regex>
#include <vector>

namespace veltro {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// A second, independent parse of the stored text: what any reader of the recording would see.
struct Reparsed {
    explicit Reparsed(const std::string& latin1) {
        ok = static_cast<bool>(doc.load_buffer(latin1.data(), latin1.size(),
                                               pugi::parse_full & ~pugi::parse_eol, pugi::encoding_latin1));
    }
    std::string text(const char* xpath) const { return doc.select_node(xpath).node().child_value(); }
    std::vector<std::string> child_names(const char* xpath) const {
        std::vector<std::string> names;
        for (pugi::xml_node c : doc.select_node(xpath).node().children())
            if (c.type() == pugi::node_element)
                names.emplace_back(c.name());
        return names;
    }
    std::size_t count(const char* xpath) const { return doc.select_nodes(xpath).size(); }
    pugi::xml_document doc;
    bool ok = false;
};

// Loads `header`'s own text back into it with one piece replaced, as an edited file would be.
void replace_in_text(Cls_XML_header& header, const std::string& from, const std::string& to) {
    std::string text = header.XML_string();
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    header.XML_string(text);
    ASSERT_TRUE(header.Has_XML());
}

using testing::error_number;

class XmlHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_facts = process_facts();
        header.Create_Header();
    }
    void TearDown() override { process_facts() = saved_facts; }

    ProcessFacts saved_facts;
    testing::FakeOperator op;
    Cls_XML_header header;
};

// The default header of a new recording, byte for byte, is tests/data/default_header.xml. The
// values that come from the clocks and the build stand there as placeholders. After a deliberate
// change of the default header, rewrite the file and review its diff:
//   VELTRO_WRITE_GOLDEN=1 build/default/tests/veltro_core_tests --gtest_filter='XmlHeaderTest.DefaultHeader*'
const std::string kGoldenHeader = std::string(VELTRO_TEST_DATA) + "/default_header.xml";

ProcessFacts fixed_facts() {
    ProcessFacts f;
    f.computer_name = "FINISH-PC";
    f.cpu_info = "CPU= 8664 4 core 3.4GHz";
    f.cpu_bitness = "64";
    f.os_bitness = "64 bit OS";
    f.physical_memory = "15.5 GB (62% Free)";
    f.os_version = "Debian GNU/Linux 12 (bookworm)";
    f.manufacturer_model = "Finish Line FL-2";
    f.prog_id = "Veltro_HDMI 5.0.0";
    f.exe_name = "veltro";
    f.exe_date = "2024-04-30 10:00:00";
    f.capture_property = "1920x1080 25 fps";
    f.selected_crop = "400*880";
    f.capture_source = "Demo race camera";
    f.actual_sample = "1920*1080";
    f.phidget_serial = "331279";
    f.current_file_name = "Derby_H3_24-05-01_14_03_07.px3";
    return f;
}

// Replaces the text of `element` by `placeholder` after checking that it matches `form`.
void stand_in(std::string& text, const std::string& element, const std::string& form,
              const std::string& placeholder) {
    const std::string open = "<" + element + ">";
    const auto from = text.find(open);
    ASSERT_NE(from, std::string::npos) << element;
    const auto begin = from + open.size();
    const auto end = text.find("</" + element + ">", begin);
    ASSERT_NE(end, std::string::npos) << element;
    const std::string value = text.substr(begin, end - begin);
    EXPECT_TRUE(std::regex_match(value, std::regex(form))) << element << " holds \"" << value << "\"";
    text.replace(begin, end - begin, placeholder);
}

// The line with its "\r" and "\n" made visible.
std::string shown(std::string line) {
    for (const auto& [c, visible] : {std::pair{'\r', "\\r"}, std::pair{'\n', "\\n"}})
        for (auto at = line.find(c); at != std::string::npos; at = line.find(c, at))
            line.replace(at, 1, visible);
    return line;
}

// The first line (1-based, lines end in "\n") where the two texts differ, both versions shown.
std::string first_difference(const std::string& want, const std::string& got) {
    std::size_t line = 1, at = 0;
    while (true) {
        const auto want_end = want.find('\n', at), got_end = got.find('\n', at);
        const std::string w =
            want.substr(at, want_end == std::string::npos ? std::string::npos : want_end - at + 1);
        const std::string g =
            got.substr(at, got_end == std::string::npos ? std::string::npos : got_end - at + 1);
        if (w != g)
            return "first difference in line " + std::to_string(line) + "\n  golden: " + shown(w) +
                   "\n  made:   " + shown(g);
        if (want_end == std::string::npos)
            return "no difference";
        at = want_end + 1;
        ++line;
    }
}

TEST_F(XmlHeaderTest, DefaultHeaderIsTheGoldenFile) {
    process_facts() = fixed_facts();
    header.Create_Header();
    std::string made = header.XML_string();
    const std::string clock = R"(\d\d:\d\d:\d\d)";
    stand_in(made, "creation_date", R"(\d\d-\d\d-\d\d )" + clock, "yy-mm-dd hh:mm:ss");
    EXPECT_EQ(header.Program_Uptime(), header.Computer_Uptime());
    stand_in(made, "computer_uptime", R"(\d+ days )" + clock, "d days hh:mm:ss");
    stand_in(made, "program_uptime", R"(\d+ days )" + clock, "d days hh:mm:ss");
    stand_in(made, "prog_major", std::to_string(kVersionMajor), "major");
    stand_in(made, "prog_minor", std::to_string(kVersionMinor), "minor");
    stand_in(made, "prog_revision", std::to_string(kVersionRevision), "revision");

    if (std::getenv("VELTRO_WRITE_GOLDEN")) {
        save_file_atomically(kGoldenHeader, made);
        GTEST_SKIP() << "wrote " << kGoldenHeader;
    }
    const std::optional<std::string> golden = read_whole_file(kGoldenHeader);
    ASSERT_TRUE(golden) << kGoldenHeader;
    EXPECT_TRUE(made == *golden) << first_difference(*golden, made);
}

TEST_F(XmlHeaderTest, WithoutTheHeatSwitchThereIsNoHeatGroup) {
    header.Veltro(false);
    header.Create_Header();
    const Reparsed r(header.XML_string());
    EXPECT_THAT(r.child_names("/PXV_header"), ElementsAreArray({"file_data", "RGB_data"}));
}

TEST(XmlHeaderUptime, IsDaysAndClockTime) {
    EXPECT_EQ(format_uptime(0), "0 days 00:00:00");
    EXPECT_EQ(format_uptime(((26 * 60 + 3) * 60 + 4) * 1000ull + 999), "1 days 02:03:04");
}

TEST_F(XmlHeaderTest, BooleansReadTheTextsOfTheirForm) {
    // True/False form: only "True" is true, so the defaults "f" and "Y" read false.
    EXPECT_FALSE(header.Velt_dead_heat(4));
    EXPECT_FALSE(header.RGB_interlaced());
    EXPECT_FALSE(header.RGB_preview_on());
    // t/f form: "t" and "Y" are true, anything else false.
    EXPECT_TRUE(header.RGB_Rotated());
    replace_in_text(header, "<RGB_rotated>Y<", "<RGB_rotated>True<");
    EXPECT_FALSE(header.RGB_Rotated());
}

TEST_F(XmlHeaderTest, NumbersAreWrittenPlainAndReadStrictly) {
    header.Velt_Heat_time(3, true, 12345);
    const Reparsed r(header.XML_string());
    EXPECT_EQ(r.text("//box[@id='3']/dog_split_time"), "12345");
    EXPECT_EQ(r.text("//box[@id='3']/dog_heat_time"), "000000");
    EXPECT_EQ(r.text("//box[@id='2']/dog_split_time"), "000000");
    EXPECT_EQ(header.Velt_Heat_time(3, true), 12345);
    EXPECT_EQ(header.Velt_Heat_time(3, false), 0);

    // The placeholder before the start is no number.
    Cls_XML_header fresh;
    fresh.Create_Header();
    EXPECT_EQ(error_number([&] { (void)fresh.Velt_heat_start_Local_mill(); }), err::kTypeMismatch);
    replace_in_text(header, "<RGB_X>000<", "<RGB_X>12a<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_X(); }), err::kTypeMismatch);
    replace_in_text(header, "<RGB_X>12a<", "<RGB_X>40000<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_X(); }), err::kOverflow);
    replace_in_text(header, "<RGB_image_size>0000000<", "<RGB_image_size>2147483648<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_Image_size(); }), err::kOverflow);
    try {
        (void)header.RGB_X();
    } catch (const VeltroError& e) {
        EXPECT_THAT(e.description(), HasSubstr("//RGB_X"));
    }
}

TEST_F(XmlHeaderTest, SpecialGetters) {
    EXPECT_EQ(header.Goal_Compensation(), "0000");
    header.Goal_Compensation("abc");
    EXPECT_EQ(header.Goal_Compensation(), "0");
    header.Split_Compensation("-120");
    EXPECT_EQ(header.Split_Compensation(), "-120");
    header.Split_Compensation("1.5");
    EXPECT_EQ(header.Split_Compensation(), "0");

    EXPECT_EQ(header.Last_Capture_time(), "0000");
    header.Last_Capture_time("");
    EXPECT_EQ(header.Last_Capture_time(), "0");

    // A bad click time reads as none instead of failing.
    replace_in_text(header, "<dog_heat_click_time>000000<", "<dog_heat_click_time>soon<");
    EXPECT_EQ(header.Velt_Heat_Click_Time(1), 0);
}

// The value of the row's property as text: numbers in decimal, flags "true" / "false".
std::string read_as_text(const Cls_XML_header& header, const HeaderElement& row, std::int16_t box) {
    switch (row.kind) {
    case HeaderKind::Text:
        return header.get(HeaderKey<std::string>::of(row), box);
    case HeaderKind::Integer:
        return std::to_string(header.get(HeaderKey<std::int16_t>::of(row), box));
    case HeaderKind::Long:
        return std::to_string(header.get(HeaderKey<std::int32_t>::of(row), box));
    case HeaderKind::TrueFalse:
    case HeaderKind::TF:
        return header.get(HeaderKey<bool>::of(row), box) ? "true" : "false";
    }
    return "?";
}

void write_from_text(Cls_XML_header& header, const HeaderElement& row, std::int16_t box,
                     const std::string& v) {
    switch (row.kind) {
    case HeaderKind::Text:
        return header.set(HeaderKey<std::string>::of(row), v, box);
    case HeaderKind::Integer:
        return header.set(HeaderKey<std::int16_t>::of(row), static_cast<std::int16_t>(std::stoi(v)), box);
    case HeaderKind::Long:
        return header.set(HeaderKey<std::int32_t>::of(row), static_cast<std::int32_t>(std::stol(v)), box);
    case HeaderKind::TrueFalse:
    case HeaderKind::TF:
        return header.set(HeaderKey<bool>::of(row), v == "true", box);
    }
}

// Takes the element out of the header's text and loads that text, as a header of an older or another
// program would come.
void remove_element(Cls_XML_header& header, const std::string& element, std::int16_t box) {
    std::string text = header.XML_string();
    const auto record = box ? text.find("<box id=\"" + std::to_string(box) + "\">") : 0;
    const auto from = text.find("<" + element + ">", record);
    const std::string close = "</" + element + ">";
    ASSERT_NE(from, std::string::npos);
    text.erase(from, text.find(close, from) + close.size() - from);
    header.XML_string(text);
    ASSERT_TRUE(header.Has_XML());
}

TEST_F(XmlHeaderTest, EveryPropertyDoesWhatItsRowSays) {
    const std::map<HeaderKind, std::vector<std::pair<std::string, std::string>>> samples = {
        // value set and read, text stored
        {HeaderKind::Text, {{"Cup \xC3\x86r\xC3\xB8", "Cup \xC3\x86r\xC3\xB8"}}},
        {HeaderKind::Integer, {{"-1234", "-1234"}}},
        {HeaderKind::Long, {{"2000000001", "2000000001"}}},
        {HeaderKind::TrueFalse, {{"true", "True"}, {"false", "False"}}},
        {HeaderKind::TF, {{"true", "t"}, {"false", "f"}}}};
    for (const HeaderElement& row : kHeaderElements) {
        if (*row.property == '\0')
            continue;
        SCOPED_TRACE(row.element);
        const std::int16_t box = row.group == HeaderGroup::Box ? 5 : 0;
        const std::string path = header_xpath(row, box);
        header.Create_Header();
        for (const auto& [value, stored] : samples.at(row.kind)) {
            write_from_text(header, row, box, value);
            EXPECT_EQ(read_as_text(header, row, box), value);
            EXPECT_EQ(Reparsed(header.XML_string()).text(path.c_str()), stored);
        }
        if (box) {
            EXPECT_EQ(Reparsed(header.XML_string()).text(header_xpath(row, 4).c_str()), row.initial.text);
        }

        remove_element(header, row.element, box);
        const std::string before = header.XML_string();
        const std::string fallback = row.kind == HeaderKind::TrueFalse ? "false" : row.fallback;
        const std::string value = samples.at(row.kind).front().first;
        const auto read = [&] { (void)read_as_text(header, row, box); };
        const auto write = [&] { write_from_text(header, row, box, value); };
        switch (row.missing) {
        case HeaderMissing::Fails:
            EXPECT_EQ(error_number(read), err::kObjectVariableNotSet);
            EXPECT_EQ(error_number(write), err::kObjectVariableNotSet);
            break;
        case HeaderMissing::Fallback:
            EXPECT_EQ(read_as_text(header, row, box), fallback);
            EXPECT_EQ(error_number(write), err::kObjectVariableNotSet);
            break;
        case HeaderMissing::Skipped:
            EXPECT_EQ(read_as_text(header, row, box), fallback);
            write();
            break;
        case HeaderMissing::Added:
            EXPECT_EQ(read_as_text(header, row, box), "");
            write_from_text(header, row, box, "");
            EXPECT_EQ(header.XML_string(), before);
            write();
            EXPECT_EQ(read_as_text(header, row, box), value);
            continue;
        }
        EXPECT_EQ(header.XML_string(), before);
    }
}

TEST_F(XmlHeaderTest, TheErrorOfAMissingElementNamesIt) {
    header.XML_string(
        "<PXV_header><veltro><box id=\"2\"><dog_name>Rex</dog_name></box></veltro></PXV_header>");
    EXPECT_EQ(header.Velt_Dog_name(2), "Rex");
    try {
        header.Velt_Heat_time(2, true, 100);
        ADD_FAILURE() << "no error";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kObjectVariableNotSet);
        EXPECT_THAT(e.description(), HasSubstr("//box[@id='2']/dog_split_time"));
    }
}

TEST_F(XmlHeaderTest, BoxNumbersOutsideOneToEightFail) {
    for (std::int16_t box : {0, 9, -1}) {
        EXPECT_EQ(error_number([&] { (void)header.Velt_Dog_name(box); }), err::kSubscriptOutOfRange);
        EXPECT_EQ(error_number([&] { (void)header.Velt_dead_heat(box); }), err::kSubscriptOutOfRange);
        EXPECT_EQ(error_number([&] { header.Velt_Heat_Click_Time(box, 1); }), err::kSubscriptOutOfRange);
    }
    EXPECT_EQ(header.Velt_Dog_name(8), "dog name");
}

TEST_F(XmlHeaderTest, TextThatDoesNotParseLeavesAnEmptyDocument) {
    const std::string broken = "<?xml version=\"1.0\"?><PXV_header><file_data><velt_event>Derby</velt_event>";
    header.XML_string(broken);
    EXPECT_FALSE(header.Has_XML());
    EXPECT_EQ(header.loaded_text(), broken);
    EXPECT_EQ(header.XML_string(), "");
    EXPECT_EQ(header.Len_XML(), 0);
    // Nothing of what was read before the error is offered.
    EXPECT_EQ(error_number([&] { (void)header.Velt_event(); }), err::kObjectVariableNotSet);
    EXPECT_TRUE(op.messages.empty());

    // For the debug run only: where it stopped.
    header.XML_string("<PXV_header>\r\n<velt_event>Derby</velt_evnt>\r\n</PXV_header>");
    EXPECT_THAT(header.parse_failure(), ::testing::StartsWith("XML parse failed! reason = "));
    EXPECT_THAT(header.parse_failure(),
                ::testing::EndsWith(" line = 2 srctext = <velt_event>Derby</velt_evnt>\r"));

    header.XML_string("");
    EXPECT_FALSE(header.Has_XML());
    header.XML_string("<PXV_header><veltro><velt_event>Derby</velt_event></veltro></PXV_header>");
    EXPECT_TRUE(header.Has_XML());
    EXPECT_EQ(header.parse_failure(), "");
    EXPECT_EQ(header.Velt_event(), "Derby");
}

TEST_F(XmlHeaderTest, TextIsLatin1OneBytePerCharacterAndSurvivesARoundTrip) {
    header.Velt_Dog_name(2, "Ærø Flyer");
    header.Velt_event("Tom & <Jerry> \"Cup\"");
    header.Velt_Heat_ID("5 €");
    const std::string text = header.XML_string();
    EXPECT_THAT(text, HasSubstr("<dog_name>\xC6r\xF8 Flyer</dog_name>"));
    EXPECT_EQ(header.Len_XML(), static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(header.XML_len(), header.Len_XML());

    Cls_XML_header reader;
    reader.XML_string(text);
    ASSERT_TRUE(reader.Has_XML());
    EXPECT_EQ(reader.Velt_Dog_name(2), "Ærø Flyer");
    EXPECT_EQ(reader.Velt_event(), "Tom & <Jerry> \"Cup\"");
    EXPECT_EQ(reader.Velt_Heat_ID(), "5 ?"); // no such character in ISO-8859-1
    // Read and written back unchanged, line breaks included.
    EXPECT_EQ(reader.XML_string(), text);
    EXPECT_EQ(reader.Get_DOM_string(), text);
}

TEST_F(XmlHeaderTest, LengthAsIntegerFailsBeyond32767) {
    header.Velt_Dog_name(1, std::string(40000, 'x'));
    EXPECT_GT(header.Len_XML(), 40000);
    EXPECT_EQ(error_number([&] { (void)header.XML_len(); }), err::kOverflow);
}

TEST_F(XmlHeaderTest, DumpWritesTheHeaderAndSaysWhere) {
    testing::TempDir dir;
    const std::string path = dir.file("dump.xml");
    header.Velt_Dog_name(1, "Ærø");
    header.Dump_XML_to_File(path);
    EXPECT_EQ(read_whole_file(path), header.XML_string());
    EXPECT_EQ(op.last_message(), "XML header dumped to: " + path);

    setenv("VELTRO_DATA_DIR", dir.path().c_str(), 1);
    header.Dump_XML_to_File("");
    unsetenv("VELTRO_DATA_DIR");
    EXPECT_EQ(read_whole_file(dir.file("xmldump.xml")), header.XML_string());

    op.messages.clear();
    EXPECT_NE(error_number([&] { header.Dump_XML_to_File(dir.file("no/such/folder/dump.xml")); }), 0);
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(XmlHeaderTest, InsertSpecappAddsTheElementOnlyWhereItLacks) {
    header.XML_string("<PXV_header><file_data><hdr_spare1>0000</hdr_spare1></file_data></PXV_header>");
    header.Insert_Specapp();
    header.Insert_Specapp();
    const Reparsed r(header.XML_string());
    EXPECT_EQ(r.count("//file_data/specapp1"), 1u);
    EXPECT_EQ(header.SpecApp(), "None");
    header.SpecApp("timing");
    EXPECT_EQ(header.SpecApp(), "timing");

    header.XML_string("<PXV_header/>");
    EXPECT_EQ(error_number([&] { header.Insert_Specapp(); }), err::kObjectVariableNotSet);
}

TEST_F(XmlHeaderTest, KindTestsLookAtTheLoadedText) {
    EXPECT_FALSE(header.is_Golf() || header.is_Selvane() || header.is_Equestrian());
    header.XML_string("<PXV_header><golf><player_name>x</player_name></golf></PXV_header>");
    EXPECT_TRUE(header.is_Golf());
    EXPECT_FALSE(header.is_Selvane());
    header.XML_string("<PXV_header><selvane/></PXV_header>");
    EXPECT_TRUE(header.is_Selvane());
    EXPECT_TRUE(header.is_Equestrian());
    EXPECT_FALSE(header.is_Golf());
}

TEST_F(XmlHeaderTest, TextOfAnElementIsAllTextBelowIt) {
    header.XML_string("<PXV_header><velt_event>Der<!--note-->by<![CDATA[ & Co]]></velt_event></PXV_header>");
    EXPECT_EQ(header.Velt_event(), "Derby & Co");
    header.Velt_event("Cup");
    EXPECT_EQ(header.XML_string(), "<PXV_header><velt_event>Cup</velt_event></PXV_header>");
}

} // namespace
} // namespace veltro
