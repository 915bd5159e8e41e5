// libFuzzer target for decodeHexMessage. Whatever the message box holds, the decoder must not
// crash and must agree with a plain reading of the rules, written here a different way so a
// slip in the decoder is not copied into the check. Built and run by scripts/fuzz.sh.

#include "serial/hexmessage.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Only these separate groups; NBSP, U+3000 and the other Unicode spaces are refused like any
// other stray character.
constexpr std::u16string_view whiteSpace = u" \t\n\r\v\f";
constexpr std::u16string_view hexDigits = u"0123456789abcdefABCDEF";

bool isWhiteSpace(char16_t c)
{
    return whiteSpace.find(c) != std::u16string_view::npos;
}

bool isHexDigit(char16_t c)
{
    return hexDigits.find(c) != std::u16string_view::npos;
}

std::vector<std::u16string_view> groupsOf(std::u16string_view text)
{
    std::vector<std::u16string_view> groups;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isWhiteSpace(text[i])) {
            if (i > start)
                groups.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return groups;
}

int digitValue(char16_t c)
{
    if (c >= u'A' && c <= u'F')
        c = char16_t(c - u'A' + u'a');
    const auto at = std::u16string_view(u"0123456789abcdef").find(c);
    return at == std::u16string_view::npos ? -1 : int(at);
}

std::optional<std::vector<uint8_t>> referenceDecode(const std::u16string &text)
{
    std::vector<uint8_t> bytes;
    for (const std::u16string_view group : groupsOf(text)) {
        if (group.size() % 2 != 0)
            return std::nullopt;
        for (size_t i = 0; i < group.size(); i += 2) {
            const int high = digitValue(group[i]);
            const int low = digitValue(group[i + 1]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.push_back(uint8_t(high * 16 + low));
        }
    }
    return bytes;
}

// The rule the text breaks, or nullptr when it keeps them all; says why a refusal is right.
const char *brokenRule(const std::u16string &text)
{
    const bool onlyAllowed = std::all_of(text.begin(), text.end(),
                                         [](char16_t c) { return isHexDigit(c) || isWhiteSpace(c); });
    if (!onlyAllowed)
        return "holds a character that is neither a hex digit nor white space";
    const auto groups = groupsOf(text);
    const bool evenGroups = std::all_of(groups.begin(), groups.end(),
                                        [](std::u16string_view g) { return g.size() % 2 == 0; });
    if (!evenGroups)
        return "has a group with an odd number of digits";
    return nullptr;
}

// A leading 0x01 or 0x02 reads the rest as Latin-1 or as raw UTF-16 code units, so lone
// surrogates and every code unit are reachable too. Anything else is the whole input as UTF-8,
// which keeps the seeds plain text files.
QString textOf(const uint8_t *data, size_t size, const char **reading)
{
    const char *chars = reinterpret_cast<const char *>(data);
    if (size >= 1 && data[0] == 0x01) {
        *reading = "Latin-1";
        return QString::fromLatin1(chars + 1, int(size - 1));
    }
    if (size >= 1 && data[0] == 0x02) {
        *reading = "UTF-16";
        // Copied out because data + 1 is not aligned for 16-bit units.
        std::vector<char16_t> units((size - 1) / 2);
        if (units.empty())
            return QString();
        std::memcpy(units.data(), data + 1, units.size() * sizeof(char16_t));
        return QString(reinterpret_cast<const QChar *>(units.data()), int(units.size()));
    }
    *reading = "UTF-8";
    return QString::fromUtf8(chars, int(size));
}

void printBytes(const char *label, const uint8_t *bytes, size_t size)
{
    std::fprintf(stderr, "  %s (%zu):", label, size);
    for (size_t i = 0; i < size; ++i)
        std::fprintf(stderr, " %02x", bytes[i]);
    std::fprintf(stderr, "\n");
}

[[noreturn]] void fail(const char *what, const uint8_t *data, size_t size, const char *reading,
                       const std::u16string &text, const std::optional<QByteArray> &decoded,
                       const std::optional<std::vector<uint8_t>> &expected)
{
    std::fprintf(stderr, "\nhexmessage_fuzzer: %s\n", what);
    printBytes("input bytes", data, size);
    std::fprintf(stderr, "  read as %s, UTF-16 code units (%zu):", reading, text.size());
    for (const char16_t c : text)
        std::fprintf(stderr, " %04x", unsigned(c));
    std::fprintf(stderr, "\n");
    if (decoded)
        printBytes("decoder gave", reinterpret_cast<const uint8_t *>(decoded->constData()),
                   size_t(decoded->size()));
    else
        std::fprintf(stderr, "  decoder refused\n");
    if (expected)
        printBytes("reference gave", expected->data(), expected->size());
    else
        std::fprintf(stderr, "  reference refused: the text %s\n", brokenRule(text));
    std::fflush(stderr);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *reading = "";
    const QString message = textOf(data, size, &reading);
    const std::u16string text(reinterpret_cast<const char16_t *>(message.utf16()), size_t(message.size()));

    const std::optional<QByteArray> decoded = decodeHexMessage(message);
    const std::optional<std::vector<uint8_t>> expected = referenceDecode(text);
    const char *broken = brokenRule(text);

    if (decoded.has_value() != expected.has_value())
        fail(decoded ? "decoder accepted a text the reference refuses"
                     : "decoder refused a text the reference accepts",
             data, size, reading, text, decoded, expected);
    if (decoded && broken)
        fail("decoder accepted a text that breaks a rule", data, size, reading, text, decoded, expected);
    if (!decoded && !broken)
        fail("decoder refused a text that keeps every rule", data, size, reading, text, decoded, expected);
    if (decoded) {
        const std::vector<uint8_t> got(decoded->begin(), decoded->end());
        if (got != *expected)
            fail("decoder gave other bytes than the digit pairs spell", data, size, reading, text,
                 decoded, expected);
    }
    return 0;
}
