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
            // A full row goes on on the next one, as a terminal wraps it, so
            // that a line without end is never shown again whole.
            if (line.size() == rowWidth) {
                if (changed || !shown)
                    lines.append({ line, shown });
                line.clear();
                changed = shown = false;
            }
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
