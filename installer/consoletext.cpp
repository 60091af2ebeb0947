#include "installer/consoletext.h"

#include <QTextCodec>
#include <QTextDecoder>

ConsoleText::ConsoleText()
    : decoder(QTextCodec::codecForLocale()->makeDecoder())
{
}

ConsoleText::~ConsoleText() = default;

QVector<ConsoleText::ShownLine> ConsoleText::take(const QByteArray &output)
{
    QVector<ShownLine> lines;
    for (const QChar c : decoder->toUnicode(output)) {
        if (c == '\n') {
            if (changed || !shown)
                lines.append({ line, shown });
            line.clear();
            restart = changed = shown = false;
        } else if (c == '\r') {
            restart = true;
        } else {
            if (restart)
                line.clear();
            restart = false;
            line += c;
            changed = true;
        }
    }
    if (changed && !line.isEmpty()) {
        lines.append({ line, shown });
        shown = true;
        changed = false;
    }
    return lines;
}
