#pragma once
// The WebP converter's error kind: a file libwebp or our own header reader refuses, or a
// frame that cannot be decoded or encoded again.

#include "base/Exceptions.h"

class EWebPError : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};
