#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

namespace veltro {

inline constexpr int kEventHeats = 100; // heats in every event file
inline constexpr int kEventBoxes = 8;   // boxes in every heat of an event file

// The XML document of one event: event name, day, and 100 heats of 8 boxes with their dog names.
// Created complete by Create_Veltro_Race_File; afterwards only the text of existing elements
// changes. Every access finds the node one XPath text of the file format names, and fails with a
// VeltroError when that path matches no node (a heat or box outside the skeleton, or a file that
// lacks the element). Texts are UTF-8 in memory and ISO-8859-1 on disk.
class EventDocument {
public:
    EventDocument() = default;
    EventDocument(const EventDocument&) = delete;
    EventDocument& operator=(const EventDocument&) = delete;
    EventDocument(EventDocument&& other);
    EventDocument& operator=(EventDocument&& other);

    // Discards the document: no nodes at all.
    void clear();
    bool empty() const;

    // Builds the complete, empty event skeleton with its creation comment. Replaces whatever the
    // document held.
    void Create_Veltro_Race_File();

    // The document as the bytes of the event file (ISO-8859-1); empty when the document is empty.
    std::string serialise() const;
    // Replaces the document by the one in `bytes`. Fails (VeltroError) when they are not
    // well-formed XML; the document is then empty. The text nodes between elements are kept as
    // they are, so a file read and written again keeps its layout.
    void load(std::string_view bytes, const std::string& source_name = "event file");

    // The XPath of the first node that the windows read or write but the document lacks ("" when
    // every heat 1..100 has its name, length, start time and boxes 1..6): an event file is a fixed
    // skeleton.
    std::string first_missing_node() const;

    // Text of a node, by the XPath texts of the event file.
    std::string event_name() const;
    std::string event_day() const;
    std::string heat_name(std::int16_t heat) const;
    std::string heat_length(std::int16_t heat) const;
    std::string heat_time(std::int16_t heat) const;
    std::string dog_name(std::int16_t heat, std::int16_t box) const;

    void event_name(const std::string& value);
    void event_day(const std::string& value);
    void heat_name(std::int16_t heat, const std::string& value);
    void heat_length(std::int16_t heat, const std::string& value);
    void heat_time(std::int16_t heat, const std::string& value);
    void dog_name(std::int16_t heat, std::int16_t box, const std::string& value);

    // True when the event file can hold `utf8` as it is: every character is in ISO-8859-1 (the file's
    // encoding) and none is a control character other than tab, which XML 1.0 cannot carry. Anything
    // else would come back from the file as "?" or make the file unreadable.
    static bool can_hold(std::string_view utf8);
    // The operator's explanation of a refused text, after the text itself.
    static std::string cannot_hold_reason();

    // The underlying DOM, for readers that walk it (never changes the shape through it).
    const pugi::xml_document& dom() const { return doc_; }

    // The XPath texts, built exactly as the file format defines them.
    static std::string heat_path(std::int16_t heat, const char* child);
    static std::string dog_name_path(std::int16_t heat, std::int16_t box);

private:
    // The node of heat_path(heat, child) or dog_name_path(heat, box); null when it matches none.
    pugi::xml_node heat_child(std::int16_t heat, const char* child) const;
    pugi::xml_node dog_name_node(std::int16_t heat, std::int16_t box) const;
    // The same, failing (VeltroError, naming the XPath text) when there is no such node.
    pugi::xml_node event_field(const char* xpath) const;
    pugi::xml_node heat_field(std::int16_t heat, const char* child) const;
    pugi::xml_node dog_name_field(std::int16_t heat, std::int16_t box) const;
    // Finds the heats anew after the document's elements changed.
    void index_heats();
    void set_text(pugi::xml_node node, const std::string& value);

    pugi::xml_document doc_;
    // Every heat element by its id, when no two heats share an id and none has two:
    // `//heat[@id='N']` is then that one element, found without walking the document. Otherwise (a
    // foreign file) `indexed_` is false and the XPath texts are evaluated as they stand.
    std::unordered_map<std::string, pugi::xml_node> heats_;
    bool indexed_ = true;
};

} // namespace veltro
