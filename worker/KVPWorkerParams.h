#pragma once

#include <QString>

#include <memory>

namespace korvane::KVP {

class KVPLink;
class KVPPhy;

// The parameter blocks the worker hands to a request's `work`. They point at the
// worker's own connection owners, so the discover and select requests can replace the
// connection in place and every other request sees the link that is open right now.
// Only the worker thread touches what they point at.

/// For requests that use the open link (ping, list, transfers).
struct KVPLinkParams
{
    std::unique_ptr<KVPLink>* link = nullptr;
};

/// For discovery: it drops the connection and scans with a link of its own.
struct KVPConnectionParams
{
    std::unique_ptr<KVPLink>* link = nullptr;
    std::unique_ptr<KVPPhy>* phy = nullptr;
};

/// For selection: it drops the connection and opens `address` in its place.
struct KVPSelectParams
{
    std::unique_ptr<KVPLink>* link = nullptr;
    std::unique_ptr<KVPPhy>* phy = nullptr;
    QString address;
};

/// The open link of a `KVPLinkParams` block; null without a block or an open link.
KVPLink* linkOf(void* params);

/// Closes the connection: the link first, as it reads and writes through the phy.
void dropConnection(std::unique_ptr<KVPLink>& link, std::unique_ptr<KVPPhy>& phy);

/// Environment variable with a shorter reply timeout in milliseconds, for tests and
/// developers who run against simulated devices that fall silent on purpose. Unset, 0 or
/// not a number: the link's own ReplyTimeoutMs, which real devices need.
inline constexpr const char* ReplyTimeoutVariable = "KVP_REPLY_TIMEOUT_MS";

/// Gives a link the worker opens the reply timeout of KVP_REPLY_TIMEOUT_MS, if set.
void applyReplyTimeoutSetting(KVPLink& link);

} // namespace korvane::KVP
