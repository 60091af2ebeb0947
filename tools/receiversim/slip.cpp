#include "receiversim/slip.h"

namespace {
constexpr char end = char(0xC0);
constexpr char escape = char(0xDB);
constexpr char escapedEnd = char(0xDC);
constexpr char escapedEscape = char(0xDD);
}

QVector<QByteArray> SlipDecoder::take(const QByteArray &bytes)
{
    QVector<QByteArray> frames;
    for (const char c : bytes) {
        if (c == end) {
            // Back-to-back frames share nothing: an end followed by a start
            // leaves an empty frame, which only starts the next one.
            if (inFrame && !frame.isEmpty()) {
                frames.append(frame);
                inFrame = false;
            } else {
                inFrame = true;
            }
            frame.clear();
            escaped = false;
        } else if (!inFrame) {
            continue;
        } else if (escaped) {
            escaped = false;
            if (c == escapedEnd) {
                frame += end;
            } else if (c == escapedEscape) {
                frame += escape;
            } else {
                // A broken escape spoils the frame: it is dropped whole.
                inFrame = false;
                frame.clear();
            }
        } else if (c == escape) {
            escaped = true;
        } else {
            frame += c;
        }
    }
    return frames;
}

QByteArray SlipDecoder::encode(const QByteArray &frame)
{
    QByteArray encoded(1, end);
    for (const char c : frame) {
        if (c == end)
            encoded.append(escape).append(escapedEnd);
        else if (c == escape)
            encoded.append(escape).append(escapedEscape);
        else
            encoded += c;
    }
    return encoded + end;
}
