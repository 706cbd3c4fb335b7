// SPDX-License-Identifier: MIT
// The view's page, compiled in from sim/view/page/.
#pragma once

namespace kivsim {

struct PageFile {
  const char* path;          // "/", "/view.js", "/view.css"
  const char* content_type;  // with charset
  const char* body;
};

// The page's files, ending with an entry whose path is nullptr.
const PageFile* page_files();

}  // namespace kivsim
