#include "pipeline/ingestion_hook.hpp"

#include "pipeline/ingestion.hpp"
#include "proto/received_message.hpp"

namespace ovik::pipeline {

void install_ingestion() {
  static const proto::MessageHook hook{.process = &process_message};
  proto::install_message_hook(&hook);
}

}  // namespace ovik::pipeline
