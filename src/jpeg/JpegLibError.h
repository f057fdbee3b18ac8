#pragma once
// libjpeg's error handling made to return to the codec: libjpeg's own handler ends the
// program. Every error, and every warning (corrupt or missing data), jumps back to the setjmp
// of the call that met it, which raises EJpegError with libjpeg's message. Only for the
// codec's own sources: the setjmp must be in a frame with no objects to destroy between it
// and the libjpeg calls.

#include "jpeg/JpegError.h"

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

struct TJpegLibError {
    jpeg_error_mgr Manager{};
    std::jmp_buf Jump{};
    std::string Message;

    // Installs the handler in Info, before it is created.
    template <typename TInfo>
    void Install(TInfo& Info)
    {
        Info.err = jpeg_std_error(&Manager);
        Info.client_data = this;
        Manager.error_exit = &ErrorExit;
        Manager.emit_message = &EmitMessage;
        Manager.output_message = [](j_common_ptr) {};
    }

    [[noreturn]] void Raise() const { throw EJpegError("JPEG: " + Message); }

private:
    [[noreturn]] static void ErrorExit(j_common_ptr Info)
    {
        TJpegLibError* self = static_cast<TJpegLibError*>(Info->client_data);
        char text[JMSG_LENGTH_MAX] = {};
        (*Info->err->format_message)(Info, text);
        self->Message = text;
        std::longjmp(self->Jump, 1);
    }
    static void EmitMessage(j_common_ptr Info, int Level)
    {
        if (Level < 0) ErrorExit(Info);
    }
};
