#include "installer/consoletext.h"

#include <QTextCodec>
#include <QTextDecoder>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

ConsoleText::ConsoleText()
    : decoder(QTextCodec::codecForLocale()->makeDecoder())
{
}

ConsoleText::~ConsoleText() = default;

QString ConsoleText::decode(const QByteArray &output)
{
#ifdef Q_OS_WIN
    // cmd and the programs it runs write in the console's OEM code page,
    // which Qt may have no codec for (437, the US one, among them).
    const int length = MultiByteToWideChar(CP_OEMCP, 0, output.constData(), output.size(), nullptr, 0);
    QString text(length, Qt::Uninitialized);
    MultiByteToWideChar(CP_OEMCP, 0, output.constData(), output.size(), reinterpret_cast<wchar_t *>(text.data()), length);
    return text;
#else
    return decoder->toUnicode(output);
#endif
}

QVector<ConsoleText::ShownLine> ConsoleText::take(const QByteArray &output)
{
    QVector<ShownLine> lines;
    for (const QChar c : decode(output)) {
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
