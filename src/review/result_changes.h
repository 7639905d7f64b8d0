#pragma once

namespace veltro {

class HeatTiming;
class cls_VideoFile_handler;

// The changes of a heat's result that are not assignments: undo and the official mark. Each is one
// header write naming the operator, so the journal and the History show it like any change. Every one
// is refused (with a message) for a read-only recording, and undo also for an official result.

// Ctrl+Z: brings back the box values (times, frames, dead heats, no-time codes, dog names) stored
// before the last change of the result that is not undone yet. Beeps when there is none, or when
// the recording has no readable journal. True when something was undone.
bool undo_result_change(cls_VideoFile_handler& rec, HeatTiming& timing);

// "Declare official": marks the result official with the operator's name and the time. Beeps when it
// is official already.
bool declare_official(cls_VideoFile_handler& rec, HeatTiming& timing);

// "Withdraw official": asks for the reason; without one (cancelled or empty) nothing changes.
bool withdraw_official(cls_VideoFile_handler& rec, HeatTiming& timing);

} // namespace veltro
