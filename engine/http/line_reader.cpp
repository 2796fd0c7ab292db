#include "engine/http/line_reader.h"

namespace orbenix::http {

LineReader::Status LineReader::Take(std::string_view& input, std::size_t limit) {
    if (complete_) {
        line_.clear();
        raw_size_ = 0;
        complete_ = false;
    }
    const auto lf = input.find('\n');
    const std::size_t take = lf == std::string_view::npos ? input.size() : lf + 1;
    if (raw_size_ + take > limit) return Status::TooLong;
    line_.append(input.substr(0, take));
    raw_size_ += take;
    input.remove_prefix(take);
    if (lf == std::string_view::npos) return Status::NeedMore;
    line_.pop_back();
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    complete_ = true;
    if (line_.find('\r') != std::string::npos) return Status::BadCr;
    return Status::Line;
}

}  // namespace orbenix::http
