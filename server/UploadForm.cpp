#include "UploadForm.h"

#include "MultipartStream.h"
#include "UploadSession.h"

bool readUploadForm(const httplib::Request& req, const httplib::ContentReader& reader, UploadSession& session)
{
    const std::string contentType = req.get_header_value("Content-Type");
    std::string boundary;
    if (!MultipartStream::boundaryOf(contentType, &boundary))
        return false;
    MultipartStream form(
        boundary, [&](const std::string& name) { return session.beginPart(name); },
        [&](const char* data, std::size_t size) { return session.data(data, size); });

    // The library hands over the raw body only for a request that is not multipart, and decides
    // that from the header when the body is read; the header is put back right after. The request
    // object belongs to the library and is not const there.
    auto& headers = const_cast<httplib::Request&>(req).headers;
    const auto header = headers.find("Content-Type");
    if (header == headers.end())
        return false;
    header->second = "application/octet-stream";
    const bool read = reader([&](const char* data, std::size_t size) { return form.feed(data, size); });
    header->second = contentType;
    return read && form.finished();
}
