#include "campaign/store/connection_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

namespace qavrel::campaign {

namespace {

constexpr const char* mask = "***";

// The passwords a string was found to hold, as written in it.
using Secrets = std::vector<std::string_view>;

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool is_uri(std::string_view text) {
  return starts_with(text, "postgresql://") || starts_with(text, "postgres://");
}

// libpq's keywords are lower case; any case is masked, to be safe.
bool is_password_key(std::string_view key) {
  constexpr std::string_view password = "password";
  if (key.size() != password.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(key[i])) != password[i]) return false;
  return true;
}

// The query of a URI, each password=... parameter's value masked.
std::string masked_query(std::string_view query, Secrets& secrets) {
  std::string out;
  std::size_t at = 0;
  while (at <= query.size()) {
    std::size_t end = query.find('&', at);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view parameter = query.substr(at, end - at);
    const std::size_t equals = parameter.find('=');
    if (equals != std::string_view::npos && is_password_key(parameter.substr(0, equals))) {
      out.append(parameter.substr(0, equals + 1));
      out += mask;
      secrets.push_back(parameter.substr(equals + 1));
    } else {
      out.append(parameter);
    }
    if (end < query.size()) out += '&';
    at = end + 1;
  }
  return out;
}

std::string masked_uri(std::string_view uri, Secrets& secrets) {
  const std::size_t authority = uri.find("://") + 3;
  // libpq ends the user part at an '@' before the first '/'; a password
  // may hold a raw '?' or even '@', so everything up to the last such '@'
  // is taken as the user part.
  const std::size_t slash = uri.find('/', authority);
  const std::size_t head_end = slash == std::string_view::npos ? uri.size() : slash;
  const std::size_t at_sign = uri.substr(0, head_end).rfind('@');
  const bool has_user = at_sign != std::string_view::npos && at_sign >= authority;
  const std::size_t colon = has_user ? uri.find(':', authority) : std::string_view::npos;
  std::string out;
  std::size_t done = 0;
  if (colon < at_sign) {
    out.append(uri.substr(0, colon + 1));
    out += mask;
    secrets.push_back(uri.substr(colon + 1, at_sign - colon - 1));
    done = at_sign;
  }
  const std::size_t query = uri.find('?', has_user ? at_sign : authority);
  if (query == std::string_view::npos) {
    out.append(uri.substr(done));
    return out;
  }
  out.append(uri.substr(done, query + 1 - done));
  out += masked_query(uri.substr(query + 1), secrets);
  return out;
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The end of a key=value string's value that starts at at: a quoted one
// ends at its closing quote, any other at white space; a backslash keeps
// the character after it.
std::size_t value_end(std::string_view text, std::size_t at) {
  const bool quoted = at < text.size() && text[at] == '\'';
  std::size_t i = quoted ? at + 1 : at;
  while (i < text.size()) {
    if (text[i] == '\\') {
      i += 2;
      continue;
    }
    if (quoted ? text[i] == '\'' : is_space(text[i])) return quoted ? i + 1 : i;
    ++i;
  }
  return text.size();
}

std::string masked_key_values(std::string_view text, Secrets& secrets) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (is_space(text[at])) {
      out += text[at++];
      continue;
    }
    std::size_t key_end = at;
    while (key_end < text.size() && text[key_end] != '=' && !is_space(text[key_end])) ++key_end;
    std::size_t equals = key_end;
    while (equals < text.size() && is_space(text[equals])) ++equals;
    if (equals >= text.size() || text[equals] != '=') {
      // Not key=value: kept as it stands.
      out.append(text.substr(at, key_end - at));
      at = key_end;
      continue;
    }
    std::size_t start = equals + 1;
    while (start < text.size() && is_space(text[start])) ++start;
    const std::size_t end = value_end(text, start);
    out.append(text.substr(at, start - at));
    const std::string_view key = text.substr(at, key_end - at);
    const std::string_view value = text.substr(start, end - start);
    if (is_password_key(key)) {
      out += mask;
      secrets.push_back(value);
      if (value.size() >= 2 && value.front() == '\'')
        secrets.push_back(value.substr(1, value.size() - 2));
    } else if (is_uri(value)) {
      out += masked_uri(value, secrets);  // dbname may itself be a URI
    } else {
      out.append(value);
    }
    at = end;
  }
  return out;
}

std::string masked(std::string_view url, Secrets& secrets) {
  return is_uri(url) ? masked_uri(url, secrets) : masked_key_values(url, secrets);
}

}  // namespace

std::string masked_connection(const std::string& url) {
  Secrets secrets;
  return masked(url, secrets);
}

std::string without_passwords(std::string message, const std::string& url) {
  Secrets secrets;
  masked(url, secrets);
  for (const std::string_view secret : secrets) {
    if (secret.empty()) continue;
    for (std::size_t at = message.find(secret); at != std::string::npos;
         at = message.find(secret, at + std::char_traits<char>::length(mask)))
      message.replace(at, secret.size(), mask);
  }
  return message;
}

void hide_password_in_arguments(int argc, char** argv, const std::string& url) {
  const std::string masked = masked_connection(url);
  if (masked == url) return;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    std::string hidden;
    if (argument == url)
      hidden = masked;
    else if (argument == "--store=" + url)
      hidden = "--store=" + masked;
    else
      continue;
    const std::size_t length = argument.size();
    std::memset(argv[i], 0, length);
    std::memcpy(argv[i], hidden.data(), std::min(length, hidden.size()));
  }
}

}  // namespace qavrel::campaign
