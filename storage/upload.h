#ifndef UPLOAD_H
#define UPLOAD_H

// Content bytes per chunk frame.
constexpr int sizeOfPiece = 32;

// Writes the next chunk frame of the upload in progress, or the end frame
// when no content is left.
void rightWrite();

// Share of the content the receiver held before the latest frame was sent,
// given the bytes that were left then; 100 for an empty file.
int uploadPercent(int bytesLeft, int fileSize);

#endif
