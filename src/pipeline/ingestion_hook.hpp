#pragma once
// Where parsers meet the data pipeline: the parser knows nothing of the
// pipeline, so whoever composes the two (the module's initialisation, a test)
// installs this hook.
namespace ovik::pipeline {

// Makes every parser hand its decoded messages to the ingestion.
void install_ingestion();

}  // namespace ovik::pipeline
