#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltro {

// The text of a file another program wrote, as UTF-8, and the encoding it was read in.
struct CardText {
    std::string utf8;
    std::string encoding; // "UTF-8", "UTF-16LE", "UTF-16BE" or "Windows-1252"
};

// Spreadsheets save a card in one of four encodings: UTF-8 (with or without the byte-order mark),
// UTF-16 (with the mark, or recognised by its zero bytes) and Windows-1252. Text that is valid UTF-8
// is taken as such; anything else is Windows-1252. Returns nothing when the bytes are UTF-16 that
// does not decode.
std::optional<CardText> decode_card_text(std::string_view bytes);

// Typographic punctuation of Windows-1252 (curly quotes, dashes, the ellipsis) as the plain signs
// of ISO-8859-1, which the event file holds: "O’Brien" becomes "O'Brien".
std::string fold_punctuation(std::string_view utf8);

} // namespace veltro
