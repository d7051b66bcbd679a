// Small documents that claim far more than they hold, as an attacker would send them.
#pragma once

#include <string>

namespace qxtest {

// A PDF of a few hundred bytes, without a cross-reference table, whose page is object number
// 2^25 - 1: rebuilding the table for it asks the PDF library for gigabytes.
std::string HugeObjectNumberPdf();

// A 141-byte PNG whose text chunk claims 2 GB.
std::string HugeTextChunkPng();

}  // namespace qxtest
