#pragma once
// A synthetic PIX firewall log for the benchmarks. The same size always
// gives the same bytes. The mix follows what a firewall logs on a working
// day: URL access (some naming the user), connections built and torn down,
// translations, denies and authentication sessions, with a few destinations
// taking most of the traffic and user names typed in either case.
//
// The benchmark terms are planted: pix_rare_user and pix_rare_address on
// about 0.01% of the lines each, pix_common_user on about 1%. Their URL
// lines only go to the frequent destinations, and no other line of theirs
// ends in a bare address, so bench/hosts answers every lookup they cause.

#include <cstdint>
#include <functional>
#include <string_view>

constexpr const char* pix_rare_user = "vrasmussen";
constexpr const char* pix_common_user = "mkeller";
constexpr const char* pix_rare_address = "10.10.9.77";  // a workstation

struct pix_log_counts {
  std::uint64_t bytes = 0;
  std::uint64_t lines = 0;
  std::uint64_t rare_lines = 0;    // lines naming pix_rare_user, any case
  std::uint64_t common_lines = 0;  // lines naming pix_common_user, any case
  std::uint64_t rare_address_lines = 0;
};

/// Hands whole lines, each ending with LF, to sink until the next one would
/// pass size bytes.
pix_log_counts generate_pix_log(
    std::uint64_t size, const std::function<void(std::string_view)>& sink);
