#ifndef CONSOLETEXT_H
#define CONSOLETEXT_H

// What a terminal would show of a program's output, a line at a time: a
// carriage return starts the line again, so a flasher's progress line
// overwrites itself instead of piling up, and a line longer than a row
// wraps onto the next.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

class QTextDecoder;

class ConsoleText
{
public:
    ConsoleText();
    ~ConsoleText();

    static constexpr int rowWidth = 1024;

    struct ShownLine
    {
        QString text;
        bool replacesLast = false;  // shows in place of the last line shown
    };
    // Takes the next piece of output, decoded with the locale's codec (on
    // Windows from the console's code page), and
    // says how the lines shown change: finished lines, then the one still
    // being written, if it changed.
    QVector<ShownLine> take(const QByteArray &output);

private:
    QString decode(const QByteArray &output);

    std::unique_ptr<QTextDecoder> decoder;
    QString line;                   // the line being written
    bool restart = false;           // a carriage return came: the next character starts the line again
    bool changed = false;           // the line differs from what was last shown of it
    bool shown = false;             // part of the line is shown already
};

#endif
