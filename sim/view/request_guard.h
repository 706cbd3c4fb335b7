// SPDX-License-Identifier: MIT
// Which requests the view answers. The server listens on 127.0.0.1 only, but
// any web page open in the same browser can still send requests there, and a
// name rebound to 127.0.0.1 can even read the answers. So every request must
// name the view itself in its Host header, and a request that acts on the
// device must come from the view's own page: its Origin header is the view's
// address and its body is JSON (which a foreign page cannot send without the
// browser asking first, and the view never allows it). All of it is judged
// on the request's head, before a byte of its body is read.
#pragma once

#include <string>

namespace kivsim {

// True when `host` (the Host header) is "127.0.0.1:PORT" or "localhost:PORT".
bool host_is_view(const std::string& host, int port);

// True when `origin` (the Origin header) is "http://127.0.0.1:PORT" or
// "http://localhost:PORT". A missing header ("") is refused: browsers send it
// with every request that acts.
bool origin_is_view(const std::string& origin, int port);

// Why an acting request is refused ("" when it is accepted).
std::string refuse_acting_request(const std::string& host, const std::string& origin,
                                  const std::string& content_type, int port);

// Whether a body may be read: 0 when it may, else the HTTP status that
// refuses it with `reason` set. Its length must be announced in
// Content-Length (`content_length`, "" when absent; 411 without it, a body
// sent in chunks included) and be at most `max_bytes` (413 above).
int refuse_body(const std::string& content_length, bool chunked, size_t max_bytes,
                std::string& reason);

// What a request is judged by before its body is read.
struct RequestHead {
  std::string method;
  std::string host;  // the headers, "" when absent
  std::string origin;
  std::string content_type;
  std::string content_length;
  bool chunked = false;  // it has a Transfer-Encoding header
};

// Whether the request may go on to its route: 0 when it may, else the HTTP
// status that refuses it with `reason` set. Any request must name the view
// in Host; one other than GET or HEAD acts, or could have its body read, and
// must pass refuse_acting_request and refuse_body too.
int refuse_request(const RequestHead& head, int port, size_t max_bytes, std::string& reason);

}  // namespace kivsim
