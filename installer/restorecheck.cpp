#include "installer/restorecheck.h"

#include <algorithm>

void RestoreCheck::clear()
{
    files.clear();
}

void RestoreCheck::expect(const QString &name, const QString &source)
{
    File file;
    file.name = name;
    file.source = source;
    files.append(file);
}

void RestoreCheck::skip(const QString &name, const QString &source)
{
    expect(name, source);
    files.last().optional = true;
}

int RestoreCheck::size() const
{
    return files.size();
}

RestoreCheck::File &RestoreCheck::at(int index)
{
    return files[index];
}

const RestoreCheck::File &RestoreCheck::at(int index) const
{
    return files.at(index);
}

RestoreCheck::Verdict RestoreCheck::judgeSize(int index, std::optional<quint32> listedSize)
{
    File &file = files[index];
    file.sizeRight = listedSize && *listedSize == quint32(file.content.size());
    return file.sizeRight ? Matches : failOrSendAgain(file);
}

RestoreCheck::Verdict RestoreCheck::judgeReadBack(int index, const std::optional<QByteArray> &readBack)
{
    File &file = files[index];
    file.back = readBack && *readBack == file.content;
    if (file.back)
        return Matches;
    file.sizeRight = false;
    return failOrSendAgain(file);
}

// At most one more try per file, whichever check found it wanting.
RestoreCheck::Verdict RestoreCheck::failOrSendAgain(File &file)
{
    if (!file.sentAgain) {
        file.sentAgain = true;
        return SendAgain;
    }
    file.failed = true;
    return NotPutBack;
}

void RestoreCheck::markFailed(int index)
{
    files[index].failed = true;
}

bool RestoreCheck::isToVerify(int index) const
{
    const File &file = files.at(index);
    return file.sizeRight && !file.back && !file.failed;
}

bool RestoreCheck::anyToVerify() const
{
    for (int index = 0; index < files.size(); ++index) {
        if (isToVerify(index))
            return true;
    }
    return false;
}

bool RestoreCheck::allPutBack() const
{
    return std::all_of(files.cbegin(), files.cend(), [](const File &file) { return file.back || file.optional; });
}
