// libFuzzer target: GiveTag on an arbitrary body and tag name.
//   byte 0: the tag's length in bytes (0-31; bit 7: the body is ANSI, not UTF-8)
//   then the tag, then the body
// GiveTag returns a piece of the body or fails with error 5; for a
// well-formed element it returns the element's content.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/ansi_codepage.h"
#include "core/error.h"
#include "core/utf8.h"
#include "engine/give_tag.h"

namespace {

using namespace orbenix;

void CheckPiece(const std::u16string& body, const std::u16string& tag) {
    try {
        const std::u16string value = GiveTag(body, tag);
        // The piece right after the first occurrence of the name.
        const std::size_t at = body.find(tag);
        if (at == std::u16string::npos || body.compare(at + tag.size() + 1, value.size(), value) != 0) std::abort();
    } catch (const Error& e) {
        if (e.number() != errors::InvalidProcedureCall) std::abort();
    }
}

// "<tag>content</tag>" gives the content when neither the tag holds "<", ">"
// or "/" nor the content holds the tag.
void CheckElement(const std::u16string& tag, const std::u16string& content) {
    if (tag.empty() || tag.find_first_of(u"</>") != std::u16string::npos) return;
    if (content.find(tag) != std::u16string::npos) return;
    if (GiveTag(u"<" + tag + u">" + content + u"</" + tag + u">", tag) != content) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t tag_bytes = std::min<std::size_t>(data[0] & 0x1f, size - 1);
    const std::string_view tag_raw(reinterpret_cast<const char*>(data + 1), tag_bytes);
    const std::string_view body_raw(reinterpret_cast<const char*>(data + 1 + tag_bytes), size - 1 - tag_bytes);
    const bool ansi = (data[0] & 0x80) != 0;
    const std::u16string tag = ansi ? TextFromAnsi(tag_raw) : TextFromUtf8(tag_raw);
    const std::u16string body = ansi ? TextFromAnsi(body_raw) : TextFromUtf8(body_raw);
    CheckPiece(body, tag);
    CheckElement(tag, body);
    return 0;
}
