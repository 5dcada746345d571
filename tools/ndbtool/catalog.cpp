// The text catalog of ndbtool: reading its lines, its escapes both ways and
// the checks a record must pass before it is stored.
#include "tools/ndbtool/catalog.h"

#include "dbm/Dbm.h"

namespace {

int HexDigit(char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

bool CatalogUnescape(std::string_view in, std::string &out, const char **why)
{
  out.clear();
  for (size_t i = 0; i < in.size(); i++) {
    char c = in[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == in.size()) {
      *why = "backslash at the end of a field";
      return false;
    }
    switch (in[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        int hi = i + 1 < in.size() ? HexDigit(in[i + 1]) : -1;
        int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          *why = "\\x needs two hexadecimal digits";
          return false;
        }
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default: *why = "unknown escape (use \\n \\r \\t \\\\ or \\xHH)"; return false;
    }
  }
  return true;
}

std::string CatalogEscape(std::string_view in, bool isKey)
{
  std::string out;
  for (size_t i = 0; i < in.size(); i++) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7f || (isKey && i == 0 && c == '#')) {
          char hex[5];
          snprintf(hex, sizeof hex, "\\x%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

bool CatalogReadLine(FILE *in, std::string &line)
{
  line.clear();
  int c;
  while ((c = fgetc(in)) != EOF && c != '\n')
    line += static_cast<char>(c);
  if (c == EOF && line.empty())
    return false;
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return true;
}

int CatalogParseLine(std::string_view line, std::string &key, std::string &value, std::string &why)
{
  if (line.empty() || line[0] == '#')
    return 0;
  size_t tab = line.find('\t');
  if (tab == std::string_view::npos) {
    why = "missing tab between key and value";
    return -1;
  }
  const char *reason = nullptr;
  if (!CatalogUnescape(line.substr(0, tab), key, &reason) ||
      !CatalogUnescape(line.substr(tab + 1), value, &reason)) {
    why = reason;
    return -1;
  }
  return 1;
}

bool CatalogRecordFits(const std::string &key, const std::string &value, std::string &why)
{
  if (key.empty())
    why = "empty key";
  else if (key.find('\0') != std::string::npos)
    why = "key holds a zero byte";
  else if (value.empty())
    why = "empty value for key \"" + CatalogEscape(key, true) + "\"";
  else if (key.size() + 1 > static_cast<size_t>(DBT_KEY_MAX))
    why = "key longer than " + std::to_string(DBT_KEY_MAX - 1) + " bytes";
  else if (key.size() + value.size() + 3 > 65535)
    why = "record for key \"" + CatalogEscape(key, true) + "\" longer than 65535 bytes";
  else
    return true;
  return false;
}
