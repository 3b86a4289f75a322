// The files the benchmarks feed the library, made to a given length. Every
// line ends in LF.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace bench {

// The connection entries a host writes before a launch, secrets included.
const std::map<std::string, std::string>& ConnectionProperties();

// A properties file of exactly `lines` lines (at least the template and the
// connection entries): the Priam template, the connection entries, then
// unique filler keys.
std::string PropertiesText(size_t lines);

// A cassandra.yaml of exactly `lines` lines, or the shortest one when
// `lines` is fewer than that. Comments and unrelated keys come first; the data directories,
// the seeds and the CQL port come last, so that a query reads all of it.
std::string YamlText(size_t lines);

// What the queries answer on YamlText().
const std::vector<std::string>& YamlDataDirs();
const std::vector<std::string>& YamlSeeds();

}  // namespace bench
