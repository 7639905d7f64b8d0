// px3tool info: what a recording holds, as text or JSON.
#include "px3tool_commands.h"
#include "recording/px3_layout.h"
#include "recording/video_file_handler.h"
#include "support/veltro_error.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

namespace px3tool {

using veltro::cls_VideoFile_handler;

void open_recording(cls_VideoFile_handler& rec, const std::string& path) {
    rec.Open_File(path);
    if (!rec.File_open()) {
        throw veltro::VeltroError(veltro::err::kFileNotFound, "cannot open " + path);
    }
    if (!rec.Has_XML()) {
        throw veltro::VeltroError(veltro::err::kTypeMismatch, path + " has no readable recording header");
    }
}

namespace {

std::string json_text(const std::string& s) {
    std::string out = "\"";
    for (const unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// One value: its name, its text, and whether it is a number in JSON.
struct Item {
    std::string name;
    std::string text;
    bool number = false;
};

Item num(const std::string& name, long long value) {
    return {name, std::to_string(value), true};
}
Item txt(const std::string& name, const std::string& value) {
    return {name, value, false};
}
Item flag(const std::string& name, bool value) {
    return {name, value ? "true" : "false", true};
}

} // namespace

int info(const Args& in) {
    Args args = in;
    const bool json = take_flag(args, "--json");
    const std::string out_path = take_option(args, "-o");
    if (args.size() != 1) {
        throw UsageError{"info takes one FILE"};
    }
    cls_VideoFile_handler rec;
    open_recording(rec, args[0]);
    const auto& h = rec.xml_header();
    const std::int32_t s = rec.sample_size();

    std::vector<Item> layout = {
        txt("file", args[0]),
        num("file_size", static_cast<long long>(std::filesystem::file_size(args[0]))),
        num("header_block_size", veltro::px3::kHeaderBlockSize),
        num("header_text_length", h.Len_XML()),
        num("frames", rec.num_Frames()),
        num("fields", rec.Num_fields()),
        num("sample_size", s),
        num("data_size", s > veltro::px3::kRecordOverhead ? s - veltro::px3::kRecordOverhead : 0),
        num("segments", value_or([&] { return h.Segments_no(); }, std::int16_t{0})),
        num("width", value_or([&] { return h.RGB_X(); }, std::int16_t{0})),
        num("height", value_or([&] { return h.RGB_Y(); }, std::int16_t{0})),
        flag("interlaced", value_or([&] { return h.RGB_interlaced(); }, false)),
        flag("rotated", rec.rotated()),
        txt("fourcc", value_or([&] { return h.RGB_fourcc(); }, std::string())),
        txt("codec", h.RGB_JPEG_codec()),
        txt("jpeg_quality", h.RGB_JPEG_Quality()),
        txt("fps", value_or([&] { return h.RGB_fps(); }, std::string())),
        num("compressed_max_size", value_or([&] { return h.RGB_Compressed_max_Size(); }, 0)),
        num("compressed_min_size", value_or([&] { return h.RGB_Compressed_min_Size(); }, 0)),
        txt("creation_date", value_or([&] { return h.Creation_date(); }, std::string())),
        txt("update_date", value_or([&] { return h.Update_Time(); }, std::string())),
        txt("computer", h.Comp_Name()),
    };
    std::vector<Item> heat = {
        txt("event", value_or([&] { return rec.Velt_event(); }, std::string())),
        txt("heat_id", value_or([&] { return rec.Velt_Heat_ID(); }, std::string())),
        txt("heat_name", value_or([&] { return rec.Velt_Heat_Name(); }, std::string())),
        txt("heat_length", rec.Velt_Heat_Length()),
        txt("start_datetime", value_or([&] { return rec.Velt_start_DateTime(); }, std::string())),
        txt("start_pc_mill", value_or([&] { return rec.Velt_start_PC_mill(); }, std::string())),
        num("start_local_mill", value_or([&] { return rec.Velt_heat_start_local(); }, 0)),
        txt("goal_compensation", value_or([&] { return rec.Velt_Goal_compensation(); }, std::string())),
        txt("split_compensation", value_or([&] { return rec.Velt_Split_compensation(); }, std::string())),
        txt("box_delay", rec.Velt_box_delay()),
        txt("goal_finish", rec.Velt_Goal_Finish()),
        txt("goal_split", rec.Velt_Goal_Split()),
    };
    std::vector<std::vector<Item>> boxes;
    for (std::int16_t box = 1; box <= veltro::kBoxes; ++box) {
        boxes.push_back({
            num("box", box),
            txt("dog_name", value_or([&] { return rec.Velt_Dog_name(box); }, std::string())),
            num("heat_time", value_or([&] { return rec.Velt_Heat_time(box, false); }, 0)),
            num("split_time", value_or([&] { return rec.Velt_Heat_time(box, true); }, 0)),
            num("heat_frame", value_or([&] { return rec.Velt_heat_frame(box); }, std::int16_t{0})),
            num("split_frame", value_or([&] { return rec.Velt_split_frame(box); }, std::int16_t{0})),
            num("click_time", rec.Velt_Heat_Click_Time(box)),
            flag("dead_heat", rec.Velt_dead_heat(box)),
        });
    }

    std::ostringstream out;
    if (json) {
        auto object = [&](const std::vector<Item>& items, const std::string& indent) {
            std::string s2 = "{\n";
            for (std::size_t i = 0; i < items.size(); ++i) {
                s2 += indent + "  " + json_text(items[i].name) + ": " +
                      (items[i].number ? items[i].text : json_text(items[i].text)) +
                      (i + 1 < items.size() ? ",\n" : "\n");
            }
            return s2 + indent + "}";
        };
        out << "{\n  \"layout\": " << object(layout, "  ") << ",\n  \"heat\": " << object(heat, "  ")
            << ",\n  \"boxes\": [\n";
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            out << "    " << object(boxes[b], "    ") << (b + 1 < boxes.size() ? ",\n" : "\n");
        }
        out << "  ]\n}\n";
    } else {
        for (const Item& i : layout) {
            out << i.name << ": " << i.text << '\n';
        }
        for (const Item& i : heat) {
            out << i.name << ": " << i.text << '\n';
        }
        out << "box  dog_name                     heat_time  split_time  heat_frame  split_frame  "
               "dead_heat\n";
        for (const auto& b : boxes) {
            char line[256];
            std::snprintf(line, sizeof line, "%-4s %-28s %10s %11s %11s %12s  %s\n", b[0].text.c_str(),
                          b[1].text.c_str(), b[2].text.c_str(), b[3].text.c_str(), b[4].text.c_str(),
                          b[5].text.c_str(), b[7].text.c_str());
            out << line;
        }
    }
    write_output(out_path, out.str());
    return 0;
}

} // namespace px3tool
