#include "installer/restorecheck.h"

#include <algorithm>

void RestoreCheck::clear()
{
    expected.clear();
    files.clear();
    position = -1;
    failed = false;
}

void RestoreCheck::expect(const QStringList &names)
{
    expected = names;
}

void RestoreCheck::add(const QString &name, const QString &source, const QByteArray &content)
{
    files.append({ name, source, content });
}

const RestoreCheck::File *RestoreCheck::lastAdded() const
{
    return files.isEmpty() ? nullptr : &files.last();
}

void RestoreCheck::start()
{
    position = 0;
}

const RestoreCheck::File *RestoreCheck::current() const
{
    return position >= 0 && position < files.size() ? &files.at(position) : nullptr;
}

RestoreCheck::Verdict RestoreCheck::judge(const std::optional<QByteArray> &readBack)
{
    File &file = files[position];
    if (readBack && *readBack == file.content) {
        ++position;
        return Matches;
    }
    if (!file.sentAgain) {
        file.sentAgain = true;
        return SendAgain;
    }
    failed = true;
    ++position;
    return NotPutBack;
}

bool RestoreCheck::allPutBack() const
{
    for (const QString &name : expected) {
        const bool sent = std::any_of(files.cbegin(), files.cend(), [&name](const File &file) { return file.name == name; });
        if (!sent)
            return false;
    }
    return !failed;
}
