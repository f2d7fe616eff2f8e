#pragma once

#include <QString>

// The relay server's base address (scheme and host, no trailing slash) and the User-Agent of every
// request. Front ends call loadServerConfig() once at start; until then the built-in address is used.
QString serverBaseUrl();
extern const QString userAgent;

// Reads TESSARY_SERVER_URL and TESSARY_CA_FILE. When a CA file is named, its certificates become the
// only trusted roots of every TLS connection of the process. Returns false, with a message ready to
// show, when the CA file cannot be read or holds no certificate.
bool loadServerConfig(QString* error = nullptr);
