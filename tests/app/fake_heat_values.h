#pragma once

#include "app/heat_values.h"
#include "support/veltro_error.h"

#include <array>
#include <string>

namespace veltro::testing {

// The heat values of a recording, in memory. Boxes outside 1..8 fail as the recording does.
class FakeHeatValues : public HeatValues {
public:
    struct Box {
        std::int32_t finish = 0, split = 0, click = 0;
        std::int16_t frame = 0, split_frame = 0;
        bool dead_heat = false;
        std::string dog_name;
    };

    // Sets a finish time as the timing model does: with the moment of the assignment.
    void assign(std::int16_t box, std::int32_t finish, std::int32_t click) {
        at(box).finish = finish;
        at(box).click = click;
    }

    std::int32_t Velt_Heat_time(std::int16_t box, bool split) const override {
        return split ? at(box).split : at(box).finish;
    }
    void Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) override {
        (split ? at(box).split : at(box).finish) = value;
    }
    std::int16_t Velt_heat_frame(std::int16_t box) const override { return at(box).frame; }
    void Velt_heat_frame(std::int16_t box, std::int16_t value) override { at(box).frame = value; }
    std::int16_t Velt_split_frame(std::int16_t box) const override { return at(box).split_frame; }
    void Velt_split_frame(std::int16_t box, std::int16_t value) override { at(box).split_frame = value; }
    std::int32_t Velt_Heat_Click_Time(std::int16_t box) const override { return at(box).click; }
    void Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) override { at(box).click = value; }
    bool Velt_dead_heat(std::int16_t box) const override { return at(box).dead_heat; }
    void Velt_dead_heat(std::int16_t box, bool value) override { at(box).dead_heat = value; }
    std::string Velt_Dog_name(std::int16_t box) const override { return at(box).dog_name; }
    void Velt_Dog_name(std::int16_t box, const std::string& value) override { at(box).dog_name = value; }
    std::string Velt_heat_start_PC_mill() const override { return "0"; }
    bool Read_only() const override { return false; }
    void Write_XML_header() override { ++header_writes; }

    int header_writes = 0;

private:
    Box& at(std::int16_t box) {
        if (box < 1 || box > kBoxes)
            throw VeltroError(err::SubscriptOutOfRange, "Subscript out of range");
        return boxes_[static_cast<std::size_t>(box - 1)];
    }
    const Box& at(std::int16_t box) const { return const_cast<FakeHeatValues*>(this)->at(box); }

    std::array<Box, kBoxes> boxes_;
};

} // namespace veltro::testing
