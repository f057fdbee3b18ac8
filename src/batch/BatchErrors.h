#pragma once
// Error kinds raised by the batch itself.

#include "base/Exceptions.h"

// The backup copy of a file could not be made; the file is left as it was.
class EBackupError : public Exception {
public:
    using Exception::Exception;
};

// An animated PNG whose animation does not hold together (sequence numbers, frame count,
// frames outside the canvas, chunks out of order or cut short): refused rather than guessed at.
class EAnimationInvalid : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// A JPEG the batch does not convert: CMYK or YCCK (its colours would only be guessed), or with
// more than 8 bits a sample (the libjpeg it is built with reads 8 bits only).
class EJpegCmykRefused : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class EJpegPrecisionRefused : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// A file that could only be rewritten in place (other names share it, or a new file could not
// keep its owner or attributes) while no backup is to be made: a write in place is not atomic,
// so without a backup it is refused and the file left as it was.
class ENeedsBackup : public Exception {
public:
    using Exception::Exception;
};
