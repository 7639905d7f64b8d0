#include "error_number.h"
#include "fake_operator.h"
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

TEST_F(XmlHeaderTest, FreshDocumentHasTheRecordingShape) {
    const std::string text = header.XML_string();
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>"
                         "<!--XML file containing PXV PX3 header--><PXV_header><file_data><my_filename",
                         0),
              0u)
        << text.substr(0, 200);

    const Reparsed r(text);
    ASSERT_TRUE(r.ok);
    EXPECT_THAT(r.child_names("/PXV_header"), ElementsAreArray({"file_data", "RGB_data", "veltro"}));
    EXPECT_THAT(r.child_names("//file_data"),
                ElementsAreArray({"my_filename",    "update_program",    "creation_date",
                                  "update_date",    "last_capture_time", "last_append_time",
                                  "num_streams",    "frame_header_size", "num_frames",
                                  "num_segments",   "timing_bias",       "b_rotated",
                                  "comp_name",      "comp_captureinfo",  "capture_sample_size",
                                  "comp_cpuinfo",   "comp_cpubitness",   "comp_physram",
                                  "comp_osbitness", "capture_property",  "selected_crop",
                                  "capture_source", "actual_sample",     "comp_manufacturer_model",
                                  "phidget_serial", "prog_id",           "exe_name",
                                  "prog_version",   "prog_major",        "prog_minor",
                                  "prog_revision",  "compile_date",      "computer_uptime",
                                  "program_uptime", "exe_filedate",      "os_version",
                                  "subject_name",   "file_comment1",     "file_comment2",
                                  "file_comment3",  "file_comment4",     "file_comment5",
                                  "specapp1",       "specapp2",          "hdr_spare1",
                                  "hdr_spare2",     "hdr_spare3",        "hdr_spare4",
                                  "hdr_spare5"}));
    const std::vector<std::pair<const char*, const char*>> file_defaults = {
        {"//update_program", "program name"},
        {"//update_date", "not updated"},
        {"//last_capture_time", "0000"},
        {"//last_append_time", ""},
        {"//num_streams", "1"},
        {"//num_frames", "000"},
        {"//b_rotated", "f"},
        {"//comp_captureinfo", "Unknown capture info!"},
        {"//prog_version", "Compiled"},
        {"//compile_date", "2020-10-04 19:15"},
        {"//file_comment5", "0000"},
        {"//specapp2", ""},
        {"//hdr_spare5", "0000"}};
    for (const auto& [xpath, value] : file_defaults)
        EXPECT_EQ(r.text(xpath), value) << xpath;

    const std::vector<std::pair<const char*, const char*>> rgb = {{"RGB_X", "000"},
                                                                  {"RGB_Y", "000"},
                                                                  {"RGB_image_size", "0000000"},
                                                                  {"RGB_max_seen_size", "0000000"},
                                                                  {"RGB_comp_threshold", "0000000"},
                                                                  {"RGB_compressed_max_size", "0000000"},
                                                                  {"RGB_compressed_buffer_size", "0000000"},
                                                                  {"RGB_compressed_min_size", "99999999"},
                                                                  {"RGB_sample_size", "0000000"},
                                                                  {"RGB_interlaced", "Y"},
                                                                  {"RGB_rotated", "Y"},
                                                                  {"RGB_preview_on", "Y"},
                                                                  {"RGB_fourcc", "none"},
                                                                  {"RGB_JPEG_Codec", "none"},
                                                                  {"RGB_fps", "000"},
                                                                  {"RGB_JPEG_Quality", "0000"},
                                                                  {"RGB_JPEG_Quality_num_reduced", "0000"}};
    const std::vector<std::pair<const char*, const char*>> heat = {
        {"velt_event", "Velt event name"},
        {"velt_heat_ID", "Velt heat ID"},
        {"velt_heat_name", "Velt heat name"},
        {"velt_heat_length", "000"},
        {"velt_goal_finish", "Velt goal finish"},
        {"velt_goal_split", "Velt goal split"},
        {"velt_start_datetime", "velt start date time"},
        {"velt_start_local_mill", "velt_start_local_mill"},
        {"velt_start_HDMI_events", "velt_start_HDMI_events"},
        {"velt_start_PC_mill", "velt_start_PC_mill"},
        {"velt_goal_time_offset", "0000"},
        {"velt_split_time_offset", "0000"},
        {"velt_box_delay", "0000"},
        {"velt_split_firewire_ID", "000"},
        {"velt_goal_firewire_ID", "000"},
        {"velt_ph_serial", "000"}};
    const std::vector<std::pair<const char*, const char*>> box = {
        {"dog_name", "dog name"},           {"dog_weight", "dog weight"},  {"dog_heat_time", "000000"},
        {"dog_heat_click_time", "000000"},  {"dog_heat_frame", "000000"},  {"dog_split_time", "000000"},
        {"dog_split_click_time", "000000"}, {"dog_split_frame", "000000"}, {"dog_heat_rank", "00"},
        {"dog_split_rank", "00"},           {"dog_dead_heat", "f"},        {"dog_heat_spare1", "00000"},
        {"dog_heat_spare2", "00000"}};
    auto expect_group = [&](pugi::xml_node group,
                            const std::vector<std::pair<const char*, const char*>>& want) {
        std::vector<std::pair<std::string, std::string>> got;
        for (pugi::xml_node c : group.children())
            if (c.type() == pugi::node_element && std::string(c.name()) != "box")
                got.emplace_back(c.name(), c.child_value());
        EXPECT_THAT(got, ElementsAreArray(want)) << group.name();
    };
    expect_group(r.doc.select_node("//RGB_data").node(), rgb);
    expect_group(r.doc.select_node("//veltro").node(), heat);

    const auto boxes = r.doc.select_nodes("//veltro/box");
    ASSERT_EQ(boxes.size(), 8u);
    int id = 1;
    for (const auto& b : boxes) {
        EXPECT_EQ(b.node().attribute("id").as_string(), std::to_string(id++));
        expect_group(b.node(), box);
    }
    for (const char* absent : {"//golf", "//stream_header", "//heat_record", "//traces", "//selvane"})
        EXPECT_EQ(r.count(absent), 0u) << absent;

    // One element per line: a line break after every element except the root.
    std::size_t elements = r.count("//*"), breaks = 0;
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++breaks;
    EXPECT_EQ(breaks, elements - 1);
    EXPECT_THAT(text, HasSubstr("<dog_dead_heat>f</dog_dead_heat>\r\n<dog_heat_spare1>"));
}

TEST_F(XmlHeaderTest, FreshDocumentCarriesTheProcessFacts) {
    process_facts().computer_name = "finish-pc";
    process_facts().current_file_name = "Derby_H3_24-05-01_14_03_07.px3";
    process_facts().prog_id = "Veltro_HDMI 5.0.0";
    header.Create_Header();
    const Reparsed r(header.XML_string());
    EXPECT_EQ(r.text("//my_filename"), "Derby_H3_24-05-01_14_03_07.px3");
    EXPECT_EQ(header.Comp_Name(), "finish-pc");
    EXPECT_EQ(header.prog_id(), "Veltro_HDMI 5.0.0");
    EXPECT_EQ(header.Prog_Major(), std::to_string(kVersionMajor));
    EXPECT_EQ(header.Prog_Revision(), std::to_string(kVersionRevision));
    EXPECT_TRUE(std::regex_match(header.Creation_date(), std::regex(R"(\d\d-\d\d-\d\d \d\d:\d\d:\d\d)")))
        << header.Creation_date();
    EXPECT_TRUE(std::regex_match(header.Computer_Uptime(), std::regex(R"(\d+ days \d\d:\d\d:\d\d)")));
    EXPECT_EQ(header.Program_Uptime(), header.Computer_Uptime());

    header.Veltro(false);
    header.Create_Header();
    EXPECT_EQ(Reparsed(header.XML_string()).count("//veltro"), 0u);
}

TEST(XmlHeaderUptime, IsDaysAndClockTime) {
    EXPECT_EQ(format_uptime(0), "0 days 00:00:00");
    EXPECT_EQ(format_uptime(((26 * 60 + 3) * 60 + 4) * 1000ull + 999), "1 days 02:03:04");
}

TEST_F(XmlHeaderTest, BooleansKeepTheFormOfTheirElement) {
    // True/False form: only "True" is true, so the defaults "f" and "Y" read false.
    EXPECT_FALSE(header.Velt_dead_heat(4));
    EXPECT_FALSE(header.RGB_interlaced());
    EXPECT_FALSE(header.RGB_preview_on());
    header.Velt_dead_heat(4, true);
    header.RGB_interlaced(true);
    EXPECT_EQ(Reparsed(header.XML_string()).text("//box[@id='4']/dog_dead_heat"), "True");
    EXPECT_TRUE(header.Velt_dead_heat(4));
    EXPECT_FALSE(header.Velt_dead_heat(5));
    EXPECT_TRUE(header.RGB_interlaced());
    header.Velt_dead_heat(4, false);
    EXPECT_EQ(Reparsed(header.XML_string()).text("//box[@id='4']/dog_dead_heat"), "False");
    EXPECT_FALSE(header.Velt_dead_heat(4));

    // t/f form: "t" and "Y" are true, anything else false.
    EXPECT_TRUE(header.RGB_Rotated());
    header.RGB_Rotated(false);
    EXPECT_EQ(Reparsed(header.XML_string()).text("//RGB_rotated"), "f");
    EXPECT_FALSE(header.RGB_Rotated());
    header.RGB_Rotated(true);
    EXPECT_EQ(Reparsed(header.XML_string()).text("//RGB_rotated"), "t");
    replace_in_text(header, "<RGB_rotated>t<", "<RGB_rotated>True<");
    EXPECT_FALSE(header.RGB_Rotated());
}

TEST_F(XmlHeaderTest, NumbersAreWrittenPlainAndReadStrictly) {
    header.Velt_Heat_time(3, true, 12345);
    Reparsed r(header.XML_string());
    EXPECT_EQ(r.text("//box[@id='3']/dog_split_time"), "12345");
    EXPECT_EQ(r.text("//box[@id='3']/dog_heat_time"), "000000");
    EXPECT_EQ(r.text("//box[@id='2']/dog_split_time"), "000000");
    EXPECT_EQ(header.Velt_Heat_time(3, true), 12345);
    EXPECT_EQ(header.Velt_Heat_time(3, false), 0);

    header.Velt_heat_frame(1, -7);
    header.RGB_Compressed_min_Size(0);
    header.Velt_heat_start_Local_mill(50400123);
    r = Reparsed(header.XML_string());
    EXPECT_EQ(r.text("//box[@id='1']/dog_heat_frame"), "-7");
    EXPECT_EQ(r.text("//RGB_compressed_min_size"), "0");
    EXPECT_EQ(header.Velt_heat_start_Local_mill(), 50400123);

    // The placeholder before the start is no number.
    Cls_XML_header fresh;
    fresh.Create_Header();
    EXPECT_EQ(error_number([&] { (void)fresh.Velt_heat_start_Local_mill(); }), err::TypeMismatch);
    replace_in_text(header, "<RGB_X>000<", "<RGB_X>12a<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_X(); }), err::TypeMismatch);
    replace_in_text(header, "<RGB_X>12a<", "<RGB_X>40000<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_X(); }), err::Overflow);
    replace_in_text(header, "<RGB_image_size>0000000<", "<RGB_image_size>2147483648<");
    EXPECT_EQ(error_number([&] { (void)header.RGB_Image_size(); }), err::Overflow);
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

TEST_F(XmlHeaderTest, MissingElementsFailUnlessThePropertyToleratesThem) {
    header.XML_string("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><PXV_header><file_data>"
                      "<velt_box_delay>30</velt_box_delay></file_data><veltro><box id=\"2\">"
                      "<dog_name>Rex</dog_name></box></veltro></PXV_header>");
    ASSERT_TRUE(header.Has_XML());
    const std::string before = header.XML_string();

    for (const auto& failing : std::vector<std::function<void()>>{
             [&] { (void)header.Velt_event(); }, [&] { header.Velt_event("Derby"); },
             [&] { (void)header.Velt_Heat_time(2, false); }, [&] { header.Velt_Heat_time(2, true, 100); },
             [&] { header.Velt_Dog_name(3, "Max"); }, [&] { (void)header.Goal_Compensation(); },
             [&] { (void)header.Last_Capture_time(); }, [&] { (void)header.RGB_X(); },
             [&] { header.RGB_JPEG_codec("IJL"); }, [&] { header.Velt_Heat_Length("480"); },
             [&] { header.SpecApp("x"); }})
        EXPECT_EQ(error_number(failing), err::ObjectVariableNotSet);
    try {
        header.Velt_Heat_time(2, true, 100);
    } catch (const VeltroError& e) {
        EXPECT_THAT(e.description(), HasSubstr("//box[@id='2']/dog_split_time"));
    }

    EXPECT_EQ(header.Velt_Dog_name(2), "Rex");
    EXPECT_EQ(header.Velt_box_delay(), "30");
    EXPECT_FALSE(header.Velt_dead_heat(2));
    EXPECT_EQ(header.Velt_Heat_Click_Time(2), 0);
    EXPECT_EQ(header.Velt_Goal_Finish(), "");
    EXPECT_EQ(header.Velt_Heat_Length(), "");
    EXPECT_EQ(header.Timing_Bias(), "");
    EXPECT_EQ(header.Exe_Name(), "");
    EXPECT_EQ(header.OS_version(), "");
    EXPECT_EQ(header.Comp_Name(), "Unknown computer name");
    EXPECT_EQ(header.Comp_CaptureInfo(), "Unknown Capture Info!");
    EXPECT_EQ(header.Comp_CPUInfo(), "Not known!");
    EXPECT_EQ(header.Phidget_serial(), "Not known!");
    EXPECT_EQ(header.RGB_JPEG_codec(), "unknown");
    EXPECT_EQ(header.RGB_JPEG_Quality(), "0000");
    EXPECT_EQ(header.SpecApp(), "None");

    header.Velt_dead_heat(2, true);
    header.Velt_Heat_Click_Time(2, 5000);
    header.Velt_Goal_Finish("1,2,3,4");
    header.Phidget_serial("12345");
    header.Capture_source("demo");
    // Setters never create an element, and nothing above changed the document.
    EXPECT_EQ(header.XML_string(), before);

    header.Velt_box_delay("45");
    EXPECT_EQ(header.Velt_box_delay(), "45");
}

TEST_F(XmlHeaderTest, BoxNumbersOutsideOneToEightFail) {
    for (std::int16_t box : {0, 9, -1}) {
        EXPECT_EQ(error_number([&] { (void)header.Velt_Dog_name(box); }), err::SubscriptOutOfRange);
        EXPECT_EQ(error_number([&] { (void)header.Velt_dead_heat(box); }), err::SubscriptOutOfRange);
        EXPECT_EQ(error_number([&] { header.Velt_Heat_Click_Time(box, 1); }), err::SubscriptOutOfRange);
    }
    EXPECT_EQ(header.Velt_Dog_name(8), "dog name");
}

TEST_F(XmlHeaderTest, TextThatDoesNotParseLeavesAnEmptyDocument) {
    const std::string broken = "<?xml version=\"1.0\"?><PXV_header><file_data><velt_event>Derby</velt_event>";
    header.XML_string(broken);
    EXPECT_FALSE(header.Has_XML());
    EXPECT_EQ(header.Loaded_text(), broken);
    EXPECT_EQ(header.XML_string(), "");
    EXPECT_EQ(header.Len_XML(), 0);
    // Nothing of what was read before the error is offered.
    EXPECT_EQ(error_number([&] { (void)header.Velt_event(); }), err::ObjectVariableNotSet);
    EXPECT_TRUE(op.messages.empty());

    // For the debug run only: where it stopped.
    header.XML_string("<PXV_header>\r\n<velt_event>Derby</velt_evnt>\r\n</PXV_header>");
    EXPECT_THAT(header.Parse_failure(), ::testing::StartsWith("XML parse failed! reason = "));
    EXPECT_THAT(header.Parse_failure(),
                ::testing::EndsWith(" line = 2 srctext = <velt_event>Derby</velt_evnt>\r"));

    header.XML_string("");
    EXPECT_FALSE(header.Has_XML());
    header.XML_string("<PXV_header><veltro><velt_event>Derby</velt_event></veltro></PXV_header>");
    EXPECT_TRUE(header.Has_XML());
    EXPECT_EQ(header.Parse_failure(), "");
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
    EXPECT_EQ(error_number([&] { (void)header.XML_len(); }), err::Overflow);
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
    EXPECT_EQ(error_number([&] { header.Insert_Specapp(); }), err::ObjectVariableNotSet);
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
