#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Splits a multipart/form-data body into its parts as the body streams in, in whatever pieces it
// arrives. Part data is handed on in the pieces it came in (less a short tail held back until it
// is known not to begin the next delimiter), so a part of any size passes through a fixed amount
// of memory. The delimiter is searched with memmem over each whole piece.
class MultipartStream
{
public:
    // Called with the form field name of each part when its headers are complete; false stops.
    using PartStart = std::function<bool(const std::string& name)>;
    // Called with the body bytes of the current part; false stops.
    using PartData = std::function<bool(const char* data, std::size_t size)>;

    MultipartStream(const std::string& boundary, PartStart start, PartData data);

    // The boundary parameter of a "multipart/form-data" content type; false when there is none.
    static bool boundaryOf(const std::string& contentType, std::string* boundary);

    // Takes the next piece of the body. False when the body is malformed or a callback said stop;
    // every later call is then false too.
    bool feed(const char* data, std::size_t size);
    // True once the closing delimiter has been read.
    bool finished() const { return m_state == State::End; }

private:
    enum class State
    {
        Preamble,
        Headers,
        Body,
        AfterDelimiter,
        End,
        Failed
    };

    bool fail();
    bool startPart(const std::string& headers);

    std::string m_delimiter; // CR LF "--" boundary
    PartStart m_start;
    PartData m_data;
    State m_state = State::Preamble;
    std::string m_buffer;
    std::size_t m_preambleBytes = 0;
};
