#pragma once
// The GIF codec's error: an invalid graphic, with the codec's own English message.

#include "base/Exceptions.h"

class GIFException : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};
