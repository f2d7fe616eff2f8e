#pragma once

#include <QtGlobal>

// How much the relay accepts and keeps, and for how long. The defaults suit a team; every field
// but the last two is an option of tessary-server.
struct RelayLimits
{
    qint64 maxContainerBytes = qint64(4) << 30;
    qint64 quotaBytes = qint64(20) << 30; // per installation: its containers not collected yet
    qint64 reserveBytes = qint64(2) << 30; // free disk space never handed out
    qint64 expirySeconds = qint64(14) * 86400;
    qint64 apiBodyBytes = 256 << 10; // one JSON call
    qint64 maxKeyBytes = 64 << 10;
    qint64 maxTitleBytes = 256; // a contact's title, UTF-8
    qint64 maxFeedbackBytes = 16 << 10; // name, address and message together, UTF-8
    qint64 feedbackPerDay = 10; // per installation
    qint64 keysPerInstallation = 4;
    qint64 contactsPerInstallation = 1000;
    qint64 waitingPerRecipient = 100; // containers waiting for one recipient
    qint64 waitingPerPair = 20; // containers waiting from one sender for one recipient
    qint64 installationsPerHour = 20; // new installations from one address (IPv6: one /64)
    qint64 uploadExpirySeconds = 86400; // an unfinished resumable upload left alone this long is deleted
    qint64 openUploadsPerInstallation = 20; // unfinished resumable uploads at once

    // How long the outcome of a finished transfer stays available to "/check-delivered".
    qint64 outcomeRetentionSeconds = qint64(30) * 86400;
    // With a database shared by several servers, a container being stored may belong to another
    // server that is still at it: only reservations this old count as left behind by a crash.
    // 0: the database is this server's alone, and start-up drops every unfinished one.
    qint64 unfinishedGraceSeconds = 0;
};
