#include "deltawriter.h"

namespace delta {

Writer::Writer(OutStream& out) : coder_(out), model_(std::make_unique<Model>()) { model_->Reset(); }

void Writer::Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                     const uint8_t* extraBytes, uint64_t extra) {
  if (copy + extra == 0) return;
  bool negative = oldPos < oldPos_;
  bool unused;
  CodeSeek(coder_, *model_, negative ? oldPos_ - oldPos : oldPos - oldPos_, negative, &unused);
  CodeNumber(coder_, model_->copy, copy);
  for (uint64_t i = 0; i < copy; i++) CodeDiff(coder_, *model_, oldBytes[i], uint8_t(newBytes[i] - oldBytes[i]));
  CodeNumber(coder_, model_->extra, extra);
  for (uint64_t i = 0; i < extra; i++) CodeLiteral(coder_, *model_, extraBytes[i]);
  oldPos_ = oldPos + copy;
}

bool Writer::Finish() { return coder_.Finish(); }

}  // namespace delta
