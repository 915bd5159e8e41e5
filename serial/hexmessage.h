#ifndef HEXMESSAGE_H
#define HEXMESSAGE_H

#include <QByteArray>
#include <optional>

class QString;

// The bytes a typed message spells: hex digit pairs in groups separated by white space
// ("01 A0 ff", "0102abff"). Anything else, including a group with an odd number of digits,
// gives no bytes at all rather than a guess, so nothing the user never typed reaches a device.
std::optional<QByteArray> decodeHexMessage(const QString &text);

#endif // HEXMESSAGE_H
