#include "servers/sqlserver/ScriptFunctions.h"

#include <cstdio>
#include <cstring>
#include <cctype>
#include <cstdlib>

namespace servers::sqlserver {

namespace {

std::u32string Decode(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    size_t k = 1;
    for (; k <= static_cast<size_t>(extra) && i + k < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out += cp;
    i += k;
  }
  return out;
}

char32_t Fold(char32_t c) { return c < 0x80 ? static_cast<char32_t>(std::tolower(static_cast<int>(c))) : c; }

// Matches the bracket set starting at p[i] ('[') against c; `end` receives the index after ']'.
// A '[' without its ']' stands for itself.
bool MatchSet(const std::u32string& p, size_t i, char32_t c, size_t& end) {
  size_t close = p.find(U']', i + 2);
  if (close == std::u32string::npos) {
    end = i + 1;
    return Fold(c) == U'[';
  }
  end = close + 1;
  size_t k = i + 1;
  bool negate = p[k] == U'^';
  if (negate) ++k;
  bool hit = false;
  for (; k < close; ++k) {
    if (k + 2 < close && p[k + 1] == U'-') {
      hit |= Fold(c) >= Fold(p[k]) && Fold(c) <= Fold(p[k + 2]);
      k += 2;
    } else {
      hit |= Fold(c) == Fold(p[k]);
    }
  }
  return hit != negate;
}

bool Match(const std::u32string& v, size_t vi, const std::u32string& p, size_t pi, char32_t escape) {
  while (pi < p.size()) {
    char32_t pc = p[pi];
    if (escape && pc == escape && pi + 1 < p.size()) {
      if (vi >= v.size() || Fold(v[vi]) != Fold(p[pi + 1])) return false;
      ++vi;
      pi += 2;
      continue;
    }
    if (pc == U'%') {
      while (pi < p.size() && p[pi] == U'%') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = vi; k <= v.size(); ++k)
        if (Match(v, k, p, pi, escape)) return true;
      return false;
    }
    if (vi >= v.size()) return false;
    if (pc == U'_') {
      ++vi;
      ++pi;
      continue;
    }
    if (pc == U'[') {
      size_t end = 0;
      if (!MatchSet(p, pi, v[vi], end)) return false;
      ++vi;
      pi = end;
      continue;
    }
    if (Fold(v[vi]) != Fold(pc)) return false;
    ++vi;
    ++pi;
  }
  return vi == v.size();
}

std::string Text(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

void LikeFunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  char32_t escape = 0;
  if (argc > 2) {
    std::u32string e = Decode(Text(argv[2]));
    if (e.size() != 1) {
      const char* m = "506|The invalid escape character \"\" was specified in a LIKE predicate.";
      return sqlite3_result_error(ctx, m, -1);
    }
    escape = e[0];
  }
  sqlite3_result_int(ctx, LikeMatch(Text(argv[0]), Text(argv[1]), escape) ? 1 : 0);
}

void ServerPropertyFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  struct Property {
    const char* name;
    const char* value;
  };
  static const Property kProperties[] = {
      {"productversion", "8.00.2039"}, {"productlevel", "SP4"}, {"edition", "Desktop Engine"},
      {"engineedition", "1"}, {"collation", "SQL_Latin1_General_CP1_CI_AS"}, {"isclustered", "0"},
      {"isfulltextinstalled", "0"}, {"isintegratedsecurityonly", "0"}, {"issingleuser", "0"},
      {"licensetype", "DISABLED"}, {"numlicenses", ""}, {"processid", "1"}};
  std::string name = Text(argv[0]);
  for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& p : kProperties) {
    if (name != p.name) continue;
    if (!*p.value) return sqlite3_result_null(ctx);
    bool number = std::strspn(p.value, "0123456789") == std::strlen(p.value) && name != "productversion";
    if (number) return sqlite3_result_int(ctx, std::atoi(p.value));
    return sqlite3_result_text(ctx, p.value, -1, SQLITE_STATIC);
  }
  sqlite3_result_null(ctx);
}

void DateStyleFunc(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, argv[0]);
  std::string out = DateInStyle(Text(argv[0]), sqlite3_value_int(argv[1]));
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

}  // namespace

bool LikeMatch(const std::string& value, const std::string& pattern, char32_t escape) {
  return Match(Decode(value), 0, Decode(pattern), 0, escape);
}

std::string DateInStyle(const std::string& text, int style) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (text.size() != 23 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms) != 7)
    return text;
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* mon = kMonths[(mo >= 1 && mo <= 12) ? mo - 1 : 0];
  bool century = style >= 100 || style == 0 || style == 9 || style == 13 || style == 20 || style == 21;
  int yy = century ? y : y % 100;
  const char* yf = century ? "%04d" : "%02d";
  int h12 = h % 12 == 0 ? 12 : h % 12;
  const char* ampm = h < 12 ? "AM" : "PM";
  char date[64] = "", buf[96];
  auto put = [&](const char* fmt, auto... args) { std::snprintf(date, sizeof date, fmt, args...); };
  std::string yfmt = yf;
  switch (style % 100) {
    case 0: std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, d, y, h12, mi, ampm); return buf;
    case 1: put(("%02d/%02d/" + yfmt).c_str(), mo, d, yy); break;
    case 2: put((yfmt + ".%02d.%02d").c_str(), yy, mo, d); break;
    case 3: put(("%02d/%02d/" + yfmt).c_str(), d, mo, yy); break;
    case 4: put(("%02d.%02d." + yfmt).c_str(), d, mo, yy); break;
    case 5: put(("%02d-%02d-" + yfmt).c_str(), d, mo, yy); break;
    case 6: put(("%02d %s " + yfmt).c_str(), d, mon, yy); break;
    case 7: put(("%s %02d, " + yfmt).c_str(), mon, d, yy); break;
    case 8: put("%02d:%02d:%02d", h, mi, s); break;
    case 9:
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, d, y, h12, mi, s, ms, ampm);
      return buf;
    case 10: put(("%02d-%02d-" + yfmt).c_str(), mo, d, yy); break;
    case 11: put((yfmt + "/%02d/%02d").c_str(), yy, mo, d); break;
    case 12: put((yfmt + "%02d%02d").c_str(), yy, mo, d); break;
    case 13:
      std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d:%03d", d, mon, y, h, mi, s, ms);
      return buf;
    case 14: put("%02d:%02d:%02d:%03d", h, mi, s, ms); break;
    case 20: put("%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s); break;
    case 21: return text;
    case 26: put("%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms); break;
    default: return text;
  }
  return date;
}

void RegisterScriptFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(db, "tsql_like", 2, flags, nullptr, LikeFunc, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tsql_like", 3, flags, nullptr, LikeFunc, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tsql_serverproperty", 1, flags, nullptr, ServerPropertyFunc, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tsql_datestyle", 2, flags, nullptr, DateStyleFunc, nullptr, nullptr, nullptr);
}

}  // namespace servers::sqlserver
