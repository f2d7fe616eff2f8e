#include "MultipartStream.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Headers of one part, and the preamble before the first part, are never larger than this.
constexpr std::size_t maxHeaderBytes = 16 * 1024;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The value of parameter `key` in a header value of the form `type; key=value; key="value"`.
bool parameter(const std::string& headerValue, const std::string& key, std::string* value)
{
    std::size_t pos = headerValue.find(';');
    while (pos != std::string::npos) {
        const std::size_t next = headerValue.find(';', pos + 1);
        const std::string item
            = headerValue.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos && lower(trimmed(item.substr(0, equals))) == key) {
            std::string v = trimmed(item.substr(equals + 1));
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
                v = v.substr(1, v.size() - 2);
            *value = v;
            return true;
        }
        pos = next;
    }
    return false;
}

} // namespace

MultipartStream::MultipartStream(const std::string& boundary, PartStart start, PartData data)
    : m_delimiter("\r\n--" + boundary)
    , m_start(std::move(start))
    , m_data(std::move(data))
    // The first delimiter may open the body without a line break in front of it.
    , m_buffer("\r\n")
{
}

bool MultipartStream::boundaryOf(const std::string& contentType, std::string* boundary)
{
    if (lower(trimmed(contentType.substr(0, contentType.find(';')))) != "multipart/form-data")
        return false;
    std::string value;
    // RFC 2046: 1 to 70 characters.
    if (!parameter(contentType, "boundary", &value) || value.empty() || value.size() > 70)
        return false;
    *boundary = value;
    return true;
}

bool MultipartStream::fail()
{
    m_state = State::Failed;
    m_buffer.clear();
    return false;
}

bool MultipartStream::feed(const char* data, std::size_t size)
{
    if (m_state == State::Failed)
        return false;
    if (m_state == State::End)
        return true; // the epilogue is ignored
    m_buffer.append(data, size);

    std::size_t pos = 0;
    for (;;) {
        const char* base = m_buffer.data() + pos;
        const std::size_t available = m_buffer.size() - pos;
        if (m_state == State::Preamble || m_state == State::Body) {
            const void* found = memmem(base, available, m_delimiter.data(), m_delimiter.size());
            // Without a delimiter, all but a tail that could be its start is certainly data.
            const std::size_t dataBytes = found
                ? static_cast<std::size_t>(static_cast<const char*>(found) - base)
                : available - std::min(available, m_delimiter.size() - 1);
            if (m_state == State::Body && dataBytes > 0 && !m_data(base, dataBytes))
                return fail();
            if (m_state == State::Preamble && (m_preambleBytes += dataBytes) > maxHeaderBytes)
                return fail();
            if (!found) {
                pos += dataBytes;
                break;
            }
            pos += dataBytes + m_delimiter.size();
            m_state = State::AfterDelimiter;
        } else if (m_state == State::AfterDelimiter) {
            if (available < 2)
                break;
            if (base[0] == '-' && base[1] == '-') {
                m_state = State::End;
                m_buffer.clear();
                return true;
            }
            // Blanks may follow a delimiter before its line break.
            const char* lineEnd = static_cast<const char*>(memmem(base, available, "\r\n", 2));
            if (!lineEnd) {
                if (available > maxHeaderBytes)
                    return fail();
                break;
            }
            if (std::any_of(base, lineEnd, [](char c) { return c != ' ' && c != '\t'; }))
                return fail();
            pos += static_cast<std::size_t>(lineEnd - base) + 2;
            m_state = State::Headers;
        } else { // Headers
            std::size_t headersLength = 0; // the header lines with the line break of the last one
            std::size_t bodyStart = pos + 2; // a part without headers starts its body right away
            if (available < 2)
                break;
            if (base[0] != '\r' || base[1] != '\n') {
                const std::size_t end = m_buffer.find("\r\n\r\n", pos);
                if (end == std::string::npos) {
                    if (available > maxHeaderBytes)
                        return fail();
                    break;
                }
                headersLength = end + 2 - pos;
                bodyStart = end + 4;
            }
            if (headersLength > maxHeaderBytes || !startPart(std::string(base, headersLength)))
                return fail();
            pos = bodyStart;
            m_state = State::Body;
        }
    }
    m_buffer.erase(0, pos);
    return true;
}

bool MultipartStream::startPart(const std::string& headers)
{
    std::string name;
    std::size_t lineStart = 0;
    while (lineStart < headers.size()) {
        std::size_t lineEnd = headers.find("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = headers.size();
        const std::string line = headers.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && lower(trimmed(line.substr(0, colon))) == "content-disposition")
            parameter(line.substr(colon + 1), "name", &name);
        lineStart = lineEnd + 2;
    }
    return m_start(name);
}
