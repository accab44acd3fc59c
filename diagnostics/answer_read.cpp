#include "diagnostics/answer_read.h"

#include <algorithm>

namespace diag {

void ReadAnswerLines(const ReadLine& read_line, const std::atomic<bool>* abandoned,
                     std::string* response) {
  response->clear();
  std::string line;
  size_t received = 0;
  while (response->size() < kMaxAnswerBytes && received < kMaxAnswerReceived &&
         !(abandoned && abandoned->load())) {
    if (!read_line(&line, std::min<size_t>(kMaxAnswerBytes - response->size(), 1024))) break;
    *response += line;
    received += line.size() + 1;
  }
}

}  // namespace diag
