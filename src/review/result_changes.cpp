#include "review/result_changes.h"

#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "recording/video_file_handler.h"
#include "recording/xml_header.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/operator_name.h"
#include "support/text.h"
#include "support/value_or.h"
#include "timing/heat_timing.h"

namespace veltro {

namespace {

// A value of the old header as it was; one it cannot read is taken as not set.
void restore_box(HeatValues& rec, const Cls_XML_header& old, std::int16_t box) {
    rec.Velt_Heat_time(box, false, value_or([&] { return old.Velt_Heat_time(box, false); }, 0));
    rec.Velt_Heat_time(box, true, value_or([&] { return old.Velt_Heat_time(box, true); }, 0));
    rec.Velt_heat_frame(box, value_or([&] { return old.Velt_heat_frame(box); }, std::int16_t{0}));
    rec.Velt_split_frame(box, value_or([&] { return old.Velt_split_frame(box); }, std::int16_t{0}));
    rec.Velt_Heat_Click_Time(box, value_or([&] { return old.Velt_Heat_Click_Time(box); }, 0));
    rec.Velt_dead_heat(box, value_or([&] { return old.Velt_dead_heat(box); }, false));
    rec.Velt_Dog_name(box, value_or([&] { return old.Velt_Dog_name(box); }, std::string()));
}

// The mark in memory follows the disk: a write that fails leaves it as it was.
void write_official(cls_VideoFile_handler& rec, const std::string& official, const std::string& by,
                    const std::string& kind) {
    const std::string was = rec.velt_official();
    rec.velt_official(official);
    rec.next_change(by, kind);
    try {
        rec.Write_XML_header();
    } catch (...) {
        rec.velt_official(was);
        throw;
    }
}

bool refused(cls_VideoFile_handler& rec, HeatTiming& timing) {
    if (!rec.File_open() || timing.recording() != &rec) {
        the_operator().beep();
        return true;
    }
    return timing.Check_Read_Only();
}

} // namespace

bool undo_result_change(cls_VideoFile_handler& rec, HeatTiming& timing) {
    if (refused(rec, timing) || timing.check_official()) {
        return false;
    }
    const std::optional<std::string> bytes = read_whole_file(journal_path(rec.File_name()));
    const JournalContents journal = bytes ? decode_journal(*bytes) : JournalContents{};
    // A change stored without its journal entry is not in the journal's order: undoing from there
    // would drop it with the one before.
    if (unjournalled_header(rec.File_name(), journal)) {
        the_operator().message(
            "The last change of this heat is missing from its journal: it cannot be undone.",
            MsgIcon::Exclamation, "Veltro undo");
        return false;
    }
    const JournalEntry* target = undo_target(journal);
    if (!target) {
        the_operator().beep();
        return false;
    }
    Cls_XML_header old;
    old.XML_string(target->payload);
    const std::string by = session_operator_name();
    for (std::int16_t box = 1; box <= kBoxes; ++box) {
        restore_box(rec, old, box);
    }
    rec.next_change(by, "undo");
    rec.Write_XML_header();
    return true;
}

bool declare_official(cls_VideoFile_handler& rec, HeatTiming& timing) {
    if (refused(rec, timing)) {
        return false;
    }
    if (!rec.velt_official().empty()) {
        the_operator().beep();
        return false;
    }
    const std::string by = session_operator_name();
    write_official(rec, (by.empty() ? std::string("(no name)") : by) + ", " + now_default_datetime(), by, {});
    return true;
}

bool withdraw_official(cls_VideoFile_handler& rec, HeatTiming& timing) {
    if (refused(rec, timing)) {
        return false;
    }
    if (rec.velt_official().empty()) {
        the_operator().beep();
        return false;
    }
    const std::optional<std::string> reason =
        the_operator().input_box("Why is the official result withdrawn?", "Veltro withdraw official");
    if (!reason || reason->empty()) {
        return false;
    }
    const std::string by = session_operator_name();
    write_official(rec, {}, by, "reason: " + *reason);
    return true;
}

} // namespace veltro
