#pragma once

#include <cstdint>
#include <string>

namespace veltro {

// Finish-time codes for a box without a valid time. They sort behind every real time.
namespace no_time {
inline constexpr std::int32_t kDidNotFinish = 888886; // "DNF"
inline constexpr std::int32_t kDisqualified = 888887; // "DSQ"
inline constexpr std::int32_t kNoRank = 888888;       // "No Rnk", the "No time" command
inline constexpr std::int32_t kNotAssigned = 999999;  // result array only
// Every value from here up counts as no valid time.
inline constexpr std::int32_t kFirst = kDidNotFinish;
} // namespace no_time

inline constexpr int kBoxes = 8;      // box records in a recording and an event
inline constexpr int kTimedBoxes = 6; // boxes that are timed, ranked and shown

// The answer to a change of an official result.
inline constexpr const char* kOfficialRefusal =
    "The result of this heat is official. Choose \"Withdraw official\" before changing it.";

// The heat values of the open recording, as the timing model and the ranking read and change them.
// The recording object implements it; a setter changes the header in memory, Write_XML_header puts
// it on disk. Boxes are 1..8; a getter or setter fails (VeltroError) for a value it cannot read.
class HeatValues {
public:
    virtual ~HeatValues() = default;

    virtual std::int32_t Velt_Heat_time(std::int16_t box, bool split) const = 0;
    virtual void Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) = 0;
    virtual std::int16_t Velt_heat_frame(std::int16_t box) const = 0;
    virtual void Velt_heat_frame(std::int16_t box, std::int16_t value) = 0;
    virtual std::int16_t Velt_split_frame(std::int16_t box) const = 0;
    virtual void Velt_split_frame(std::int16_t box, std::int16_t value) = 0;
    virtual std::int32_t Velt_Heat_Click_Time(std::int16_t box) const = 0;
    virtual void Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) = 0;
    virtual bool Velt_dead_heat(std::int16_t box) const = 0;
    virtual void Velt_dead_heat(std::int16_t box, bool value) = 0;
    virtual std::string Velt_Dog_name(std::int16_t box) const = 0;
    virtual void Velt_Dog_name(std::int16_t box, const std::string& value) = 0;

    // The heading of the heat: event and heat name, heat id and the start as a date-time text.
    virtual std::string Velt_event() const = 0;
    virtual void Velt_event(const std::string& value) = 0;
    virtual std::string Velt_Heat_Name() const = 0;
    virtual void Velt_Heat_Name(const std::string& value) = 0;
    virtual std::string Velt_Heat_ID() const = 0;
    virtual std::string Velt_start_DateTime() const = 0;

    // The PC millisecond counter at the start signal, as stored (text; not a number before the start).
    virtual std::string Velt_start_PC_mill() const = 0;

    // "" when the heat's result is not official, else who declared it and when.
    virtual std::string velt_official() const = 0;
    virtual void velt_official(const std::string& value) = 0;
    // Names the operator, and the kind of change when it is not a plain one ("undo", ...), for the
    // next header write only: a write without it names nobody.
    virtual void next_change(const std::string& by, const std::string& kind) = 0;

    // True while a recording is open.
    virtual bool File_open() const = 0;
    // True when the current user may not write the recording.
    virtual bool Read_only() const = 0;
    // Brings in the values another program stored since they were read, keeping unwritten ones.
    virtual void take_changes_made_elsewhere() = 0;
    // Puts the header with every value above on disk before it returns.
    virtual void Write_XML_header() = 0;
};

} // namespace veltro
