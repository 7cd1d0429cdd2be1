// The first bytes of a bzip2 block's text, for a look at where a log's
// lines stand. libbz2 hands out any part of a block only after decoding its
// symbols one bit at a time; here they are read through a table, and the
// text walked for no more than is asked. Whatever is out of the ordinary
// (a randomised block, a code set that is not a prefix code) is left to
// libbz2: false.

#include "decode/seek/bzip2_text_start.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr unsigned kMostLength = 20;  // bits of a code, at most
constexpr unsigned kTableBits = 10;   // codes this long or shorter: one look-up
constexpr unsigned kMostGroups = 6;
constexpr std::size_t kMostSelectors = 18002;
constexpr std::size_t kGroupSize = 50;  // symbols coded by one table in turn
constexpr std::uint32_t kRunA = 0, kRunB = 1;

// Bits MSB first from a piece, zeros past its end; overrun once more bits
// were taken than it has.
struct bit_reader {
  const unsigned char* data;
  std::size_t bits;
  std::size_t next = 0;    // the next byte to take into held
  std::uint64_t held = 0;  // bits not yet taken, from the top
  unsigned count = 0;

  std::uint32_t peek(unsigned wanted) {
    if (count < wanted) fill();
    return static_cast<std::uint32_t>(held >> (64 - wanted));
  }
  void skip(unsigned taken) {
    held <<= taken;
    count -= taken;
  }
  std::uint32_t take(unsigned wanted) {
    const std::uint32_t value = peek(wanted);
    skip(wanted);
    return value;
  }
  bool overrun() const {
    return next * 8 - count > bits;
  }

 private:
  void fill() {
    const std::size_t bytes = (bits + 7) / 8;
    for (; count <= 56; count += 8, ++next)
      held |= std::uint64_t{next < bytes ? data[next] : 0u} << (56 - count);
  }
};

// One table's canonical code: codes of each length in order of symbol.
struct code_table {
  std::array<std::uint16_t, 1u << kTableBits> quick{};  // symbol << 5 | length
  std::array<std::uint32_t, kMostLength + 1> first{};  // a length's first code
  std::array<std::uint32_t, kMostLength + 1> count{};
  std::array<std::uint32_t, kMostLength + 1> index{};  // into sorted
  std::vector<std::uint16_t> sorted;                    // by length, symbol
};

bool build_table(const std::vector<unsigned>& lengths, code_table* t) {
  t->count.fill(0);
  for (const unsigned length : lengths) ++t->count[length];
  std::uint64_t room = 1;  // codes still free at the current length
  std::uint32_t code = 0, at = 0;
  for (unsigned l = 1; l <= kMostLength; ++l) {
    room *= 2;
    if (t->count[l] > room) return false;  // no prefix code
    room -= t->count[l];
    t->first[l] = code;
    t->index[l] = at;
    code = (code + t->count[l]) << 1;
    at += t->count[l];
  }
  t->sorted.clear();
  for (unsigned l = 1; l <= kMostLength; ++l)
    for (std::size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] == l) t->sorted.push_back(static_cast<std::uint16_t>(s));
  t->quick.fill(0);
  for (unsigned l = 1; l <= kTableBits; ++l) {
    const unsigned spare = kTableBits - l;
    for (std::uint32_t i = 0; i < t->count[l]; ++i) {
      const unsigned symbol = t->sorted[t->index[l] + i];
      const auto entry = static_cast<std::uint16_t>(symbol << 5 | l);
      const std::uint32_t from = (t->first[l] + i) << spare;
      std::fill_n(t->quick.begin() + from, 1u << spare, entry);
    }
  }
  return true;
}

// The next symbol, or -1 where no code matches.
int next_symbol(bit_reader& in, const code_table& t) {
  const std::uint16_t entry = t.quick[in.peek(kTableBits)];
  if (entry != 0) {
    in.skip(entry & 31u);
    return entry >> 5;
  }
  const std::uint32_t bits = in.peek(kMostLength);
  for (unsigned l = kTableBits + 1; l <= kMostLength; ++l) {
    const std::uint32_t c = bits >> (kMostLength - l);
    if (c - t.first[l] < t.count[l]) {
      in.skip(l);
      return t.sorted[t.index[l] + (c - t.first[l])];
    }
  }
  return -1;
}

struct block_header {
  std::uint32_t orig_ptr = 0;
  std::vector<unsigned char> used;  // byte values in use, in order
  std::vector<unsigned char> selectors;
  std::vector<code_table> tables;
};

bool read_selectors(bit_reader& in, unsigned groups, block_header* h) {
  const std::uint32_t count = in.take(15);
  if (count < 1) return false;
  std::array<unsigned char, kMostGroups> order{0, 1, 2, 3, 4, 5};
  for (std::uint32_t i = 0; i < count; ++i) {
    unsigned j = 0;
    while (in.take(1) == 1)
      if (++j >= groups || in.overrun()) return false;
    // Moved to the front: the selector is the group j places down.
    const unsigned char group = order[j];
    std::copy_backward(order.begin(), order.begin() + j, order.begin() + j + 1);
    order[0] = group;
    if (i < kMostSelectors) h->selectors.push_back(group);
  }
  return true;
}

bool read_tables(bit_reader& in, unsigned groups, std::size_t symbols,
                 block_header* h) {
  h->tables.resize(groups);
  std::vector<unsigned> lengths(symbols);
  for (code_table& table : h->tables) {
    unsigned length = in.take(5);
    for (unsigned& l : lengths) {
      for (;;) {
        if (length < 1 || length > kMostLength || in.overrun()) return false;
        if (in.take(1) == 0) break;
        length = in.take(1) == 0 ? length + 1 : length - 1;
      }
      l = length;
    }
    if (!build_table(lengths, &table)) return false;
  }
  return true;
}

bool read_header(bit_reader& in, block_header* h) {
  in.take(24);  // the magic's first half
  in.take(24);
  in.take(32);  // the block's CRC: over the whole text, not checked here
  if (in.take(1) != 0) return false;  // randomised
  h->orig_ptr = in.take(24);
  const std::uint32_t ranges = in.take(16);
  for (unsigned r = 0; r < 16; ++r) {
    if ((ranges >> (15 - r) & 1u) == 0) continue;
    const std::uint32_t bytes = in.take(16);
    for (unsigned b = 0; b < 16; ++b)
      if ((bytes >> (15 - b) & 1u) != 0)
        h->used.push_back(static_cast<unsigned char>(r * 16 + b));
  }
  if (h->used.empty()) return false;
  const unsigned groups = in.take(3);
  if (groups < 2 || groups > kMostGroups) return false;
  return read_selectors(in, groups, h) &&
         read_tables(in, groups, h->used.size() + 2, h) && !in.overrun();
}

// A block's last column, each byte in the low byte of its entry, and the
// way on from each entry once walked; the room for a block of the largest
// size, as the system gives it for a table filled at once.
struct column {
  std::size_t room;
  std::uint32_t* at;
  std::size_t size = 0;
  explicit column(std::size_t entries)
      : room(entries),
        at(static_cast<std::uint32_t*>(
            platform_large_room(entries * sizeof(std::uint32_t)))) {}
  column(const column&) = delete;
  column& operator=(const column&) = delete;
  ~column() { platform_free_large_room(at, room * sizeof(std::uint32_t)); }
};

// The block's bytes before the walk, into its column; false on damage.
bool read_symbols(bit_reader& in, const block_header& h, column* c,
                  std::array<std::uint32_t, 256>* counts) {
  std::array<unsigned char, 256> order{};
  for (std::size_t i = 0; i < h.used.size(); ++i)
    order[i] = static_cast<unsigned char>(i);
  const std::uint32_t end = static_cast<std::uint32_t>(h.used.size()) + 1;
  std::uint64_t run = 0, weight = 1;
  for (std::size_t n = 0;; ++n) {
    const std::size_t group = n / kGroupSize;
    if (group >= h.selectors.size() || in.overrun()) return false;
    const int s = next_symbol(in, h.tables[h.selectors[group]]);
    if (s < 0) return false;
    const auto symbol = static_cast<std::uint32_t>(s);
    if (symbol == kRunA || symbol == kRunB) {
      run += weight << symbol;
      weight <<= 1;
      if (run > c->room) return false;
      continue;
    }
    if (run > 0) {
      const unsigned char byte = h.used[order[0]];
      if (c->size + run > c->room) return false;
      (*counts)[byte] += static_cast<std::uint32_t>(run);
      std::fill_n(c->at + c->size, run, byte);
      c->size += run;
      run = 0;
      weight = 1;
    }
    if (symbol == end) return true;
    if (c->size >= c->room) return false;
    std::size_t j = symbol - 1;
    const unsigned char moved = order[j];
    // Mostly a few places: a loop beats a call to memmove.
    for (; j > 0; --j) order[j] = order[j - 1];
    order[0] = moved;
    const unsigned char byte = h.used[moved];
    ++(*counts)[byte];
    c->at[c->size++] = byte;
  }
}

// Walks the text from its first byte, undoing the runs of four and more
// the block was first cut into, up to `most` bytes.
void walk(column& c, std::uint32_t orig_ptr,
          const std::array<std::uint32_t, 256>& counts, std::size_t most,
          std::string* text) {
  std::array<std::uint32_t, 256> start{};
  for (std::size_t b = 1; b < 256; ++b)
    start[b] = start[b - 1] + counts[b - 1];
  std::uint32_t* const entries = c.at;
  const auto size = static_cast<std::uint32_t>(c.size);
  for (std::uint32_t i = 0; i < size; ++i)
    entries[start[entries[i] & 0xff]++] |= i << 8;
  std::uint32_t at = entries[orig_ptr] >> 8;
  int last = -1, same = 0;
  for (std::uint32_t n = 0; n < size && text->size() < most; ++n) {
    const std::uint32_t entry = entries[at];
    const auto byte = static_cast<unsigned char>(entry & 0xff);
    at = entry >> 8;
    if (same == 4) {  // the count of a run's repeats past four
      text->append(std::min<std::size_t>(byte, most - text->size()),
                   static_cast<char>(last));
      last = -1;
      same = 0;
      continue;
    }
    same = byte == last ? same + 1 : 1;
    last = byte;
    text->push_back(static_cast<char>(byte));
  }
}

}  // anonymous namespace

bool bzip2_text_start(const bzip2_piece& piece, std::size_t most,
                      std::string* text) {
  text->clear();
  if (piece.level < '1' || piece.level > '9') return false;
  const std::size_t block_most =
      static_cast<std::size_t>(piece.level - '0') * 100000;
  bit_reader in{piece.bits.data(), piece.bit_count};
  block_header h;
  if (!read_header(in, &h)) return false;
  column c(block_most);
  std::array<std::uint32_t, 256> counts{};
  if (c.at == nullptr || !read_symbols(in, h, &c, &counts) ||
      h.orig_ptr >= c.size)
    return false;
  walk(c, h.orig_ptr, counts, most, text);
  return true;
}
