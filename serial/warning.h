#ifndef WARNING_H
#define WARNING_H

class QString;

// Every user-facing error: a modal warning box without parent, titled "Tip", with one Ok button.
void showWarning(const QString &text);

#endif // WARNING_H
