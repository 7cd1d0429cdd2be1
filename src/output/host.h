#pragma once
// A hit's destination: which address it names, and the line with that
// address replaced by its host name and, when asked, trimmed after it.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

/// Reverse lookup of an address: true with the host name, false when no
/// name is known.
using host_lookup = std::function<bool(const ip_address&, std::string*)>;

/// The line's destination address, the one substitute_host would look up.
/// False when the destination text is not an address.
bool destination_address(const std::string& line, ip_address* address);

/// Replaces the destination address of the line's last field by its host
/// name wherever it stands whole in the line (no letter, digit or '.' on
/// either side, and for IPv6 no ':' either unless a URL follows it, nor a
/// zone after it); with trim 1 cuts the line just after the destination as
/// it then stands in the last field. The destination is the last field up
/// to the character before the line's first slash when that is an IPv4
/// address, else ADDRESS in a last field [USER@]ADDRESS:REST whose REST is
/// a path or a URL with its scheme, as the PIX's successors write it;
/// ADDRESS is IPv4, or IPv6 with or without a zone (fe80::1%inside).
void substitute_host(std::string& line, std::int32_t trim,
                     const host_lookup& lookup);
