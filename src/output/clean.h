#pragma once
// Cleaning of a hit before it is written: lines of authentication sessions
// are left out, and the syslog priority prefixes of facility local4 and
// three PIX message identifiers, and the same three as the ASA, FWSM and
// FTD write them, are deleted.

#include <string>
#include <string_view>

/// A tag and what it is replaced by.
struct removal_pair {
  std::string_view tag;
  std::string_view replacement;
};

constexpr std::string_view rep1 = "<165>";
constexpr std::string_view rep2 = "<162>";
constexpr std::string_view rep3 = "<164>";
constexpr std::string_view rep4 = "<163>";
constexpr std::string_view rep5 = " %PIX-2-109011:";
constexpr std::string_view rep6 = " %PIX-5-304001:";
constexpr std::string_view rep7 = " %PIX-5-109012:";
constexpr std::string_view rep1r = "";
constexpr std::string_view rep2r = "";
constexpr std::string_view rep3r = "";
constexpr std::string_view rep4r = "";
constexpr std::string_view rep5r = "";
constexpr std::string_view rep6r = "";
constexpr std::string_view rep7r = "";
constexpr std::string_view rep8 = "Authen Session";

/// The pairs in the order they are applied; the identifiers of the PIX's
/// successors come after its own.
constexpr removal_pair kRemovals[] = {
    {rep1, rep1r}, {rep2, rep2r}, {rep3, rep3r}, {rep4, rep4r},
    {rep5, rep5r}, {rep6, rep6r}, {rep7, rep7r},
    {" %ASA-2-109011:", ""},
    {" %ASA-5-304001:", ""},
    {" %ASA-5-109012:", ""},
    {" %FWSM-2-109011:", ""},
    {" %FWSM-5-304001:", ""},
    {" %FWSM-5-109012:", ""},
    {" %FTD-2-109011:", ""},
    {" %FTD-5-304001:", ""},
    {" %FTD-5-109012:", ""},
};

/// True when the line, as read, belongs to an authentication session.
bool is_excluded(std::string_view line);

/// Replaces every occurrence of each tag, pair by pair in table order, left
/// to right; text before the resume point is never looked at again.
void remove_tags(std::string& line);

/// Replaces every occurrence of from by to, left to right, never searching
/// the inserted text. An empty from changes nothing. from and to must not
/// point into line, which is rewritten in place when it has the room.
void replace_all(std::string& line, std::string_view from,
                 std::string_view to);
