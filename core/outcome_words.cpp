#include "core/outcome_words.h"

#include "link/protocol_engine.h"

namespace corvella::core {

std::string OutcomeWords(link::Outcome outcome) {
  switch (outcome) {
    case link::Outcome::Done:
      return {};
    case link::Outcome::NoAnswer:
      return "the unit did not answer";
    case link::Outcome::WrongAnswer:
      return "the unit answered wrongly";
    case link::Outcome::NotFound:
      return "no unit found";
    case link::Outcome::Cancelled:
      return "cancelled";
    case link::Outcome::Refused:
      return "another command was still running";
    case link::Outcome::PortFailed:
      return std::string(link::kCannotOpen);
  }
  return "the unit did not confirm";
}

}  // namespace corvella::core
