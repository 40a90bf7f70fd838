// The state table of the format reader and the engine's constant texts.
#include <string_view>

#include "bounded/sec_engine.h"

namespace {

constexpr uint8_t N = STATE_NORMAL;
constexpr uint8_t P = STATE_PERCENT;
constexpr uint8_t F = STATE_FLAG;
constexpr uint8_t W = STATE_WIDTH;
constexpr uint8_t D = STATE_DOT;
constexpr uint8_t R = STATE_PRECISION;
constexpr uint8_t S = STATE_SIZE;
constexpr uint8_t T = STATE_TYPE;
constexpr uint8_t X = STATE_INVALID;

// Row: class of the byte; column: previous state.
constexpr std::array<std::array<uint8_t, STATE_COUNT>, CLASS_COUNT> k_transitions = {{
    //  NORMAL PERCENT FLAG WIDTH DOT PRECISION SIZE TYPE INVALID
    {N, X, X, X, X, X, X, N, N},  // CLASS_OTHER
    {P, N, X, X, X, X, X, P, N},  // CLASS_PERCENT
    {N, D, D, D, X, X, X, N, N},  // CLASS_DOT
    {N, W, W, X, R, X, X, N, N},  // CLASS_STAR
    {N, F, F, W, R, R, X, N, N},  // CLASS_ZERO
    {N, W, W, W, R, R, X, N, N},  // CLASS_DIGIT
    {N, F, F, F, X, X, X, N, N},  // CLASS_FLAG
    {N, S, S, S, S, S, S, N, N},  // CLASS_SIZE
    {N, T, T, T, T, T, T, N, N},  // CLASS_TYPE
}};

constexpr void set_class(std::array<uint8_t, 256 + CLASS_COUNT * STATE_COUNT> &table,
                         std::string_view chars, uint8_t cls) {
  for (char c : chars) table[static_cast<unsigned char>(c)] = cls;
}

constexpr std::array<uint8_t, 256 + CLASS_COUNT * STATE_COUNT> build_state_table() {
  std::array<uint8_t, 256 + CLASS_COUNT * STATE_COUNT> table{};  // CLASS_OTHER
  set_class(table, "%", CLASS_PERCENT);
  set_class(table, ".", CLASS_DOT);
  set_class(table, "*", CLASS_STAR);
  set_class(table, "0", CLASS_ZERO);
  set_class(table, "123456789", CLASS_DIGIT);
  set_class(table, " #+-", CLASS_FLAG);
  set_class(table, "ILNZhjlqtwz", CLASS_SIZE);
  set_class(table, "CEFGSXcdefgiopsux", CLASS_TYPE);
  for (int cls = 0; cls < CLASS_COUNT; ++cls) {
    for (int st = 0; st < STATE_COUNT; ++st) {
      table[256 + cls * STATE_COUNT + st] = k_transitions[cls][st];
    }
  }
  return table;
}

}  // namespace

constexpr std::array<uint8_t, 256 + CLASS_COUNT * STATE_COUNT> g_stateTable = build_state_table();

static_assert(g_stateTable.size() == 337);
static_assert(g_stateTable['n'] == CLASS_OTHER && g_stateTable[0x80] == CLASS_OTHER);
static_assert(g_stateTable[256 + CLASS_PERCENT * STATE_COUNT + STATE_PERCENT] == STATE_NORMAL);
static_assert(g_stateTable[256 + CLASS_STAR * STATE_COUNT + STATE_WIDTH] == STATE_INVALID);

const char g_itoaLowerDigits[] = "0123456789abcdefx";
const char g_itoaUpperDigits[] = "0123456789ABCDEFX";
const char strNullString[] = "(null)";
const wchar_t wStrNullString[] = L"(null)";
const char strNullPointer[] = "(nil)";
