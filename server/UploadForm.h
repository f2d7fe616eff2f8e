#pragma once

#include <httplib.h>

class UploadSession;

// Reads the multipart body of an "/upload-container" request into session. The library's own
// multipart reader takes the body a few kilobytes at a time and scans it byte by byte, which costs
// more than the TLS underneath; the raw body goes through MultipartStream instead. True when the
// whole form, up to its closing delimiter, was read and every part was taken.
bool readUploadForm(const httplib::Request& req, const httplib::ContentReader& reader,
                    UploadSession& session);
