#pragma once

#include "support/veltro_error.h"
#include "timing/heat_values.h"

#include <array>

namespace veltro::testing {

// The heat values of a recording held in memory; counts the header writes.
class FakeHeatValues : public HeatValues {
public:
    struct Box {
        std::int32_t time = 0, split = 0, click = 0;
        std::int16_t frame = 0, split_frame = 0;
        bool dead_heat = false;
        std::string dog;
    };
    std::array<Box, kBoxes> boxes{};
    std::string start_pc_mill = "velt_start_PC_mill";
    std::string event, heat_name, heat_id, start_date_time;
    bool read_only = false;
    bool open = true;
    int writes = 0;

    // Sets a finish time as the timing model does: with the moment of the assignment.
    void assign(std::int16_t n, std::int32_t finish, std::int32_t click) {
        box(n).time = finish;
        box(n).click = click;
    }

    Box& box(std::int16_t n) {
        if (n < 1 || n > kBoxes)
            throw VeltroError(err::kSubscriptOutOfRange, "Subscript out of range");
        return boxes[static_cast<std::size_t>(n - 1)];
    }
    const Box& box(std::int16_t n) const { return const_cast<FakeHeatValues*>(this)->box(n); }

    std::int32_t Velt_Heat_time(std::int16_t b, bool split) const override {
        return split ? box(b).split : box(b).time;
    }
    void Velt_Heat_time(std::int16_t b, bool split, std::int32_t v) override {
        (split ? box(b).split : box(b).time) = v;
    }
    std::int16_t Velt_heat_frame(std::int16_t b) const override { return box(b).frame; }
    void Velt_heat_frame(std::int16_t b, std::int16_t v) override { box(b).frame = v; }
    std::int16_t Velt_split_frame(std::int16_t b) const override { return box(b).split_frame; }
    void Velt_split_frame(std::int16_t b, std::int16_t v) override { box(b).split_frame = v; }
    std::int32_t Velt_Heat_Click_Time(std::int16_t b) const override { return box(b).click; }
    void Velt_Heat_Click_Time(std::int16_t b, std::int32_t v) override { box(b).click = v; }
    bool Velt_dead_heat(std::int16_t b) const override { return box(b).dead_heat; }
    void Velt_dead_heat(std::int16_t b, bool v) override { box(b).dead_heat = v; }
    std::string Velt_Dog_name(std::int16_t b) const override { return box(b).dog; }
    void Velt_Dog_name(std::int16_t b, const std::string& v) override { box(b).dog = v; }
    std::string Velt_start_PC_mill() const override { return start_pc_mill; }
    std::string Velt_event() const override { return event; }
    void Velt_event(const std::string& v) override { event = v; }
    std::string Velt_Heat_Name() const override { return heat_name; }
    void Velt_Heat_Name(const std::string& v) override { heat_name = v; }
    std::string Velt_Heat_ID() const override { return heat_id; }
    std::string Velt_start_DateTime() const override { return start_date_time; }
    std::string official, change_by, change;
    std::string velt_official() const override { return official; }
    void velt_official(const std::string& v) override { official = v; }
    void next_change(const std::string& by, const std::string& kind) override {
        change_by = by;
        change = kind;
    }
    bool File_open() const override { return open; }
    bool Read_only() const override { return read_only; }
    void take_changes_made_elsewhere() override {}
    void Write_XML_header() override { ++writes; }
};

} // namespace veltro::testing
