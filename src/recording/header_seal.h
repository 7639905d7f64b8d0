#pragma once

#include <string>
#include <string_view>

namespace veltro {

// A header text that proves itself: the CRC-32 of the text is kept in its spare element hdr_spare5 as
// "crc32:xxxxxxxx", computed over the text with that element empty. Readers of the layout never read
// the spares, so older programs open sealed recordings as before; a torn or edited text no longer
// matches its seal, however small the tear, even where the recording travels without its journal.
enum class HeaderSeal {
    Unsealed, // hdr_spare5 holds its default "0000" (a recording from before seals) or is missing
    Sound,    // the text matches its seal
    Broken,   // the text does not match its seal, or the seal itself is damaged
};

HeaderSeal header_seal(std::string_view latin1_text);
// The text with its seal put in; unchanged when it has no hdr_spare5 element.
std::string seal_header(std::string_view latin1_text);

} // namespace veltro
