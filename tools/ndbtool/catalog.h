// ndbtool's text catalog: one record a line, KEY<TAB>VALUE, with the escapes
// \n \r \t \\ and \xHH in keys and values; empty lines and lines starting
// with '#' are skipped. The escaped form written by CatalogEscape reads back
// unchanged, so a catalog survives a build and a dump.
#ifndef NORVO_NDBTOOL_CATALOG_H
#define NORVO_NDBTOOL_CATALOG_H

#include <cstdio>
#include <string>
#include <string_view>

// Decodes the escapes of one field into out; false, with why (a constant
// text), for a malformed escape.
bool CatalogUnescape(std::string_view in, std::string &out, const char **why);
// The catalog form of bytes, the inverse of CatalogUnescape: no tab, line
// end or control byte is left raw, and a key's leading '#' is escaped so
// that its line is not taken for a comment.
std::string CatalogEscape(std::string_view in, bool isKey);
// The next line of in without its newline (and one '\r' before it); a last
// line without a newline counts. False at the end.
bool CatalogReadLine(FILE *in, std::string &line);
// Splits one line into key and value at its first tab and decodes both.
// 1: a record; 0: nothing to store (empty line or comment); -1: malformed,
// with the reason in why.
int CatalogParseLine(std::string_view line, std::string &key, std::string &value, std::string &why);
// Whether a typed database can take the record: a key that is not empty,
// holds no zero byte and fits the key buffers, a value that is not empty,
// and a record within 65535 bytes. False with the reason in why.
bool CatalogRecordFits(const std::string &key, const std::string &value, std::string &why);

#endif
