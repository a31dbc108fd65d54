// FidoNet addresses: the four-part record, the parser for every abbreviated
// form the configuration, the area files and the kludge lines use, and the
// three printed forms.
#ifndef KAVEL_MSGBASE_FTN_ADDRESS_H_
#define KAVEL_MSGBASE_FTN_ADDRESS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

// zone:net/node.point; point 0 means "not a point". There is no domain.
struct FtnAddress {
  int16_t zone = 0;
  int16_t net = 0;
  int16_t node = 0;
  int16_t point = 0;
};

// All four components 0 (prints as 0:0/0).
inline constexpr FtnAddress EmptyAddress{};

inline bool operator==(const FtnAddress& a, const FtnAddress& b) {
  return a.zone == b.zone && a.net == b.net && a.node == b.node &&
         a.point == b.point;
}

void ClearAddress(FtnAddress* address);

// Parses `text` into `*address`. Only the components that the text's form
// names are changed, so a caller puts its defaults into the record first:
//   zone:net/node[.point]  sets all four (point 0 when not written)
//   zone:net               accepted, changes nothing
//   net/node[.point]       net, node, point
//   node[.point]           node, point
//   .point                 point
// A leading "/" is dropped, and "@domain" is dropped. Answers false, with
// the record untouched, for an empty text, a text left empty after the
// domain is dropped, any character other than digits, ":", "/" and ".", and
// any component outside -32768..32767.
bool ParseAddress(std::string_view text, FtnAddress* address);

// zone:net/node, plus ".point" when the point is not 0.
std::string AddressToText(const FtnAddress& address);
// Always zone:net/node.point.
std::string AddressToText4D(const FtnAddress& address);
// Always zone:net/node.
std::string AddressToText3D(const FtnAddress& address);

// -1, 0 or 1, comparing zone, net, node, point in that order as signed
// numbers.
int CompareAddresses(const FtnAddress& a, const FtnAddress& b);

// The n-th (1-based) run of characters none of which is in `delimiters`;
// empty when the text holds fewer than n words (or n < 1).
std::string NthWord(int n, std::string_view text, std::string_view delimiters);

// *value := the number the text holds as TextToInt reads it (decimal, "$"
// hex, leading blanks, optional sign; anything malformed gives 0). Answers
// false, with *value 0, when the number is well formed but outside
// -32768..32767 (it is never wrapped).
bool TextToInt16(std::string_view text, int16_t* value);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FTN_ADDRESS_H_
