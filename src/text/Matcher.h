#pragma once
// The pattern matcher: runs a Perl-style match command ("m/" pattern "/" flags) against a text
// and answers where the first match lies and what each group covered. Built on PCRE2 (8-bit),
// whose matching follows Perl's rules: leftmost match, ordered alternation, lazy quantifiers.
//
// Flags: "i" letters without regard to case (ASCII letters; for UTF-8 text PCRE2's Unicode case
// folding), "k" character-wise matching in the text's encoding (a double-byte Shift-JIS character
// or a UTF-8 sequence is one character, in the subject and in the pattern), "m" multi-line
// anchors, "s" "." also matching a line feed, "x" extended syntax. Without "k" the text is
// matched byte by byte. A line feed is the only line break; "." matches a carriage return.

#include "base/Exceptions.h"
#include "text/TextEncoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class EMatcherError : public Exception {
public:
    using Exception::Exception;
};

class TMatcher {
public:
    TMatcher();
    ~TMatcher();
    TMatcher(const TMatcher&) = delete;
    TMatcher& operator=(const TMatcher&) = delete;

    // Matches Command against Text; true when it matched. Raises EMatcherError for a command
    // that cannot be compiled or a failure while matching; the previous result is gone then.
    bool Match(std::string_view Command, std::string_view Text,
               TTextEncoding Encoding = TTextEncoding::ShiftJIS);

    // Exactly as Match on Text.substr(Start) ("^" anchors at Start, nothing before Start is
    // seen), but positions count from the start of Text. Start must be a character boundary
    // of Text in Encoding (EMatcherError otherwise). A call with Start > 0 on the same text
    // (same data pointer and size) as the call before reuses what was prepared for it, so
    // collecting every match of a text costs linear time; a call with Start == 0 always reads
    // the text afresh.
    bool MatchFrom(std::string_view Command, std::string_view Text, std::size_t Start,
                   TTextEncoding Encoding);

    // 1-based byte position of the whole match in the text ("no match pos").
    std::size_t MatchPos() const;
    // Bytes of the whole match ("no match length").
    std::size_t MatchLength() const;
    // Groups of the last command + 1 (the whole match is string 0); 0 before any command.
    int GroupCount() const;
    // The text of the whole match (0) or of a group; empty for a group that took no part
    // ("no strings now", "index out of range").
    std::string MatchStrings(int Index) const;

    // Whether group Index took part in the match (same errors as MatchStrings).
    bool GroupMatched(int Index) const;
    // 0-based byte offset of group Index from the start of the text, npos when it took no part.
    std::size_t GroupStart(int Index) const;
    // Bytes of group Index; 0 when it took no part.
    std::size_t GroupLength(int Index) const;

    // How many commands have been compiled so far: a command matched again is not compiled again.
    std::size_t CompileCount() const noexcept { return FCompileCount; }

private:
    struct TCompiled;
    struct TSubject;
    struct TPcre;

    TCompiled& Compiled(std::string_view Command, TTextEncoding Encoding);
    void CheckIndex(int Index) const;

    bool FMatched = false;
    const char* FTextStart = nullptr;
    int FGroupCount = 0;
    // Byte offsets from FTextStart of each group's start and end; npos for an unset group.
    std::vector<std::size_t> FStarts;
    std::vector<std::size_t> FEnds;

    std::unique_ptr<TPcre> FPcre;                       // match context and JIT stack
    std::vector<std::unique_ptr<TCompiled>> FCompiled;  // recently used commands, newest first
    std::unique_ptr<TSubject> FSubject;                 // the text prepared for matching
    std::size_t FCompileCount = 0;
};

// The program's one matcher, created on first use. Other instances may be made (one per
// worker thread, say); an instance serves one caller at a time.
TMatcher& SharedRegExp();
