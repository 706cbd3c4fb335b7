// SPDX-License-Identifier: MIT
#include "request_guard.h"

namespace kivsim {

bool host_is_view(const std::string& host, int port) {
  std::string p = ":" + std::to_string(port);
  return host == "127.0.0.1" + p || host == "localhost" + p;
}

bool origin_is_view(const std::string& origin, int port) {
  const std::string scheme = "http://";
  return origin.compare(0, scheme.size(), scheme) == 0 &&
         host_is_view(origin.substr(scheme.size()), port);
}

std::string refuse_acting_request(const std::string& host, const std::string& origin,
                                  const std::string& content_type, int port) {
  if (!host_is_view(host, port))
    return "the Host header does not name the view";
  if (!origin_is_view(origin, port))
    return origin.empty() ? "no Origin header" : "a request from " + origin;
  // "application/json", with parameters allowed ("; charset=utf-8").
  const std::string json = "application/json";
  if (content_type.compare(0, json.size(), json) != 0 ||
      (content_type.size() > json.size() && content_type[json.size()] != ';'))
    return "the body is not JSON";
  return "";
}

int refuse_body(const std::string& content_length, bool chunked, size_t max_bytes,
                std::string& reason) {
  if (chunked || content_length.empty() ||
      content_length.find_first_not_of("0123456789") != std::string::npos) {
    reason = "the body must announce its length (Content-Length)";
    return 411;
  }
  size_t first = content_length.find_first_not_of('0');
  std::string digits = first == std::string::npos ? "0" : content_length.substr(first);
  // 20 digits and more do not fit a number, and are far too many anyway.
  if (digits.size() > 19 || std::stoull(digits) > max_bytes) {
    reason = "the body is larger than the view takes (" + std::to_string(max_bytes) + " bytes)";
    return 413;
  }
  return 0;
}

int refuse_request(const RequestHead& head, int port, size_t max_bytes, std::string& reason) {
  if (!host_is_view(head.host, port)) {
    reason = "the Host header does not name the view";
    return 403;
  }
  if (head.method == "GET" || head.method == "HEAD")
    return 0;
  const std::string refused =
      refuse_acting_request(head.host, head.origin, head.content_type, port);
  if (!refused.empty()) {
    reason = "refused: " + refused;
    return 403;
  }
  return refuse_body(head.content_length, head.chunked, max_bytes, reason);
}

}  // namespace kivsim
