#include "events/dog_import.h"

#include "events/event_session.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/utf8_text.h"
#include "support/veltro_error.h"

#include <cstdlib>
#include <fstream>

namespace veltro {
namespace {

// One line without its ending; LF, CR LF and a lone CR all end a line. False at the end of input.
bool next_line(std::istream& in, std::string& line) {
    using Traits = std::char_traits<char>;
    line.clear();
    bool any = false;
    for (auto c = in.get(); !Traits::eq_int_type(c, Traits::eof()); c = in.get()) {
        any = true;
        if (c == '\n')
            return true;
        if (c == '\r') {
            if (in.peek() == '\n')
                in.get();
            return true;
        }
        line += Traits::to_char_type(c);
    }
    return any;
}

// Text files come from other programs in either encoding; names in memory are UTF-8.
std::string as_utf8(const std::string& line) {
    return is_valid_utf8(line) ? line : latin1_to_utf8(line);
}

std::string line_ref(std::int32_t number) {
    return " (line " + std::to_string(number) + " of the import file)";
}

} // namespace

std::int32_t Import_Dogs(std::istream& in, EventSession& session, const DogImportHooks& hooks) {
    Trace("Import_Dogs start");
    std::int16_t heat = 0;
    std::int32_t box = 0;
    std::int32_t count = 0;
    std::int32_t line_number = 0;
    std::string raw;
    while (next_line(in, raw)) {
        ++line_number;
        if (line_number == 1 && raw.starts_with("\xEF\xBB\xBF"))
            raw.erase(0, 3);
        const std::string line = as_utf8(raw);
        if (line.find("Start") != std::string::npos) {
            const std::string number = utf8_substr(line, 5, 3);
            try {
                heat = parse_integer(number);
            } catch (const VeltroError& e) {
                throw VeltroError(e.number(), e.description() + ": heat number \"" + number + "\"" +
                                                  line_ref(line_number));
            }
            box = 0;
            // A heat outside the event is refused at its first name line.
            if (heat >= 1 && heat <= kEventHeats) {
                session.current_heat(heat);
                if (hooks.heat_changed)
                    hooks.heat_changed();
            }
            continue;
        }
        if (heat < 1 || heat > kEventHeats) {
            the_operator().message("Invalid import file format!");
            return count;
        }
        ++box;
        const std::string name = trim(line);
        if (name.empty())
            continue;
        if (box > kEventBoxes)
            throw VeltroError(err::kSubscriptOutOfRange, "Heat " + std::to_string(heat) + " has no box " +
                                                             std::to_string(box) + " for " + name +
                                                             line_ref(line_number));
        // Stored as it is or not at all: the file would turn what it cannot hold into "?".
        if (!EventDocument::can_hold(name))
            throw VeltroError(err::kTypeMismatch, "\"" + name + "\" " + EventDocument::cannot_hold_reason() +
                                                      line_ref(line_number));
        session.document().dog_name(heat, static_cast<std::int16_t>(box), name);
        ++count;
        session.Load_Heat_Data();
        if (hooks.name_stored)
            hooks.name_stored();
    }
    the_operator().message(std::to_string(count) + " Dogs imported!");
    return count;
}

std::int32_t import_dogs_file(const std::string& path, EventSession& session, const DogImportHooks& hooks) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw VeltroError(err::kFileNotFound, "File not found: " + path);
    return Import_Dogs(in, session, hooks);
}

std::string import_folder() {
    const std::string stored = Read_Setting(keys::importdir);
    // The default names a drive of the platform the format was made on; here it means home.
    if (stored == keys::importdir.default_value || stored.empty()) {
        const char* home = std::getenv("HOME");
        return home && *home ? std::string(home) + "/" : std::string("/");
    }
    return stored;
}

void store_import_folder(const std::string& chosen_file) {
    const auto slash = chosen_file.find_last_of('/');
    Write_Setting(keys::importdir,
                  slash == std::string::npos ? std::string() : chosen_file.substr(0, slash + 1));
}

} // namespace veltro
