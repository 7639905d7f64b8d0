// The main window's publishing: the event's results as one page, a heat's evidence pack.
#include "app/ui/form_veltro.h"
#include "results/event_results.h"
#include "results/evidence_pack.h"
#include "support/operator.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"
#include "timing/lengths.h"

#include <QFileDialog>
#include <filesystem>
#include <tuple>

namespace veltro {

void Form_Veltro::install_publish_dialogs() {
    choose_event_results_file = [this](const std::string& suggested) {
        return QFileDialog::getSaveFileName(this, "Event results", QString::fromStdString(suggested),
                                            "Web page and CSV (*.html)")
            .toStdString();
    };
    choose_evidence_folder = [this](const std::string& suggested) {
        return QFileDialog::getExistingDirectory(this, "Save evidence in", QString::fromStdString(suggested))
            .toStdString();
    };
    choose_print_folder = [this](const std::string& suggested) {
        return QFileDialog::getExistingDirectory(this, "Print folder", QString::fromStdString(suggested))
            .toStdString();
    };
}

void Form_Veltro::item_event_results_click() {
    const std::string folder = capture_folder();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        the_operator().message("Capture folder does not exist!", MsgIcon::Exclamation);
        return;
    }
    const EventResults results = [&] {
        const auto progress = progress_steps();
        progress("Reading the recordings of\r\n" + folder, 0);
        try {
            EventResults r = read_event_results(folder, seconds_per_length_setting(), true,
                                                [&](std::size_t done, std::size_t total) {
                                                    progress({}, static_cast<int>(done * 100 / total));
                                                    the_operator().process_events();
                                                });
            progress({}, -1);
            return r;
        } catch (...) {
            progress({}, -1);
            throw;
        }
    }();
    if (results.heats.empty()) {
        the_operator().message("There are no recordings in " + folder, MsgIcon::Exclamation);
        return;
    }
    const std::string name = (results.event.empty() ? "Event" : results.event) + " results.html";
    const std::string chosen = choose_event_results_file((std::filesystem::path(folder) / name).string());
    if (chosen.empty())
        return;
    std::string csv, html;
    try {
        std::tie(csv, html) = write_event_results(results, chosen, now_iso_datetime());
    } catch (const VeltroError& e) {
        the_operator().message("The event results could not be written:\r\n" + e.description(),
                               MsgIcon::Exclamation);
        return;
    }
    std::string text = "Event results of " + std::to_string(results.heats.size()) +
                       " recordings written to\r\n" + html + "\r\n" + csv;
    for (const EventHeat& h : results.heats)
        if (!h.heat)
            text += "\r\n" + h.file_name + " cannot be read: " + h.problem;
    Trace("item_event_results_Click " + html);
    the_operator().message(text, MsgIcon::Information, "Veltro event results");
}

void Form_Veltro::item_save_evidence_click() {
    if (!recording_.File_open()) {
        the_operator().beep();
        return;
    }
    const std::string recording = recording_.File_name();
    const std::string parent =
        choose_evidence_folder(std::filesystem::path(recording).parent_path().string());
    if (parent.empty())
        return;
    EvidencePack pack;
    try {
        pack = write_evidence_pack(recording, free_evidence_folder(parent, recording),
                                   seconds_per_length_setting());
    } catch (const VeltroError& e) {
        the_operator().message("The evidence could not be saved:\r\n" + e.description(),
                               MsgIcon::Exclamation);
        return;
    }
    std::string text = "Evidence saved in\r\n" + pack.folder + "\r\n(" + std::to_string(pack.files.size()) +
                       " files, checked by " + kManifestName + ")";
    for (const std::string& note : pack.notes)
        text += "\r\nNo finish picture for " + note;
    text += "\r\nKeep the manifest's own SHA-256 to check the pack later:\r\n" + pack.manifest_sha256;
    Trace("item_save_evidence_Click " + pack.folder);
    the_operator().message(text, MsgIcon::Information, "Veltro evidence");
}

} // namespace veltro
