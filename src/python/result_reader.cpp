#include "python/result_reader.hpp"

#include <algorithm>

namespace ovik::python {

ResultReader::Turn::~Turn() {
  if (read_) reader_->end(*read_);
}

std::pair<ResultReader::Turn, ResultReader::Settle> ResultReader::queue_read(
    const std::shared_ptr<ResultReader>& reader) {
  auto read = std::make_shared<Read>();
  bool first = false;
  {
    std::lock_guard lock(reader->mutex_);
    reader->line_.push_back(read);
    first = reader->line_.size() == 1;
  }
  if (first) read->turn_given.cancel();
  return {Turn(reader, read), Settle(reader, read)};
}

asio::awaitable<ResultItem> ResultReader::next(Turn turn) {
  ResultReader& reader = *turn.reader_;
  co_await turn.read_->turn_given.cancelled();
  std::optional<ResultItem> item;
  {
    std::lock_guard lock(reader.mutex_);
    item = std::exchange(reader.returned_, std::nullopt);
  }
  // An aborted wait takes nothing, so nothing can be lost in between.
  if (!item) item = co_await reader.receiver_.recv();
  {
    std::lock_guard lock(reader.mutex_);
    turn.read_->taken = item;
  }
  co_return std::move(*item);
}

template <class Change>
void ResultReader::update(Read& read, Change change) {
  std::shared_ptr<Read> next_in_line;
  {
    std::lock_guard lock(mutex_);
    change();
    leave_if_done(read, next_in_line);
  }
  if (next_in_line) next_in_line->turn_given.cancel();
}

void ResultReader::end(Read& read) {
  update(read, [&] { read.ended = true; });
}

void ResultReader::settle(Read& read, bool delivered) {
  update(read, [&] { read.delivered = delivered; });
}

void ResultReader::leave_if_done(Read& read, std::shared_ptr<Read>& next_in_line) {
  // A read that took nothing is done when its operation ends; one that took
  // an item, once its caller has it or never will.
  if (!read.ended || (read.taken && !read.delivered.has_value())) return;
  if (read.taken && !*read.delivered) returned_ = std::exchange(read.taken, std::nullopt);
  auto it = std::find_if(line_.begin(), line_.end(), [&](const auto& queued) { return queued.get() == &read; });
  if (it == line_.end()) return;
  const bool had_turn = it == line_.begin();
  line_.erase(it);
  if (had_turn && !line_.empty()) next_in_line = line_.front();
}

}  // namespace ovik::python
