#pragma once
// The error kinds the whole program raises. Every error carries a message; the batch log
// chooses its reason text by the kind (a derived kind counts as its base).

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    // An error a system call gave: Errno is its errno (the log names the causes it knows).
    Exception(const std::string& message, int Errno) : std::runtime_error(message), FErrno(Errno) {}
    std::string Message() const { return what(); }
    // The errno of the system call that failed; 0 when none is known.
    int Errno() const { return FErrno; }

private:
    int FErrno = 0;
};

// Unreadable values: colour values in text, hexadecimal parsing.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Run-time file input and output.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

// Invalid graphics; the GIF and PNG codecs derive their errors from it.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// A picture whose decoded size is beyond the limit set for it: refused before its pixels are
// made.
class EPictureTooLarge : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// A file that cannot be opened.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be created.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// An allocation the program refused or could not make.
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

// A stream that could not deliver or take the bytes asked of it.
class EReadError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

class EWriteError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// A file another batch or program holds locked: it is left alone.
class EFileLocked : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// A file that changed while it was being converted: the other program's change is kept.
class EFileChanged : public EInOutError {
public:
    using EInOutError::EInOutError;
};
