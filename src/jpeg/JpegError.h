#pragma once
// The JPEG codec's error kind: a file libjpeg cannot read to its end without complaint (its
// errors and its warnings alike, as a warning means damaged data), or a picture it cannot write.

#include "base/Exceptions.h"

class EJpegError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};
