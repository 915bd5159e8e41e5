#include "serial/hexmessage.h"

#include <QString>

namespace {

bool isSeparator(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

std::optional<QByteArray> decodeHexMessage(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    int digitsInGroup = 0;
    int high = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (isSeparator(c)) {
            if (digitsInGroup % 2 != 0)
                return std::nullopt;
            digitsInGroup = 0;
            continue;
        }
        const int value = hexValue(c);
        if (value < 0)
            return std::nullopt;
        if (digitsInGroup++ % 2 == 0)
            high = value;
        else
            bytes.append(char(high << 4 | value));
    }
    if (digitsInGroup % 2 != 0)
        return std::nullopt;
    return bytes;
}
