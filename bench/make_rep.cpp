// bench_make_rep: writes the reply file of a REP packet holding N replies,
// as an offline reader would before zipping it, for the upload benchmark.
//
//   bench_make_rep OUT --packet-id ID --replies N --conferences N --from NAME
//                  [--to NAME] [--min-size BYTES] [--max-size BYTES] [--seed N]
//
// Block 0 names the packet; every reply is a header block and its text in
// 128-byte blocks (0xE3 line ends, blank-filled). The replies go round the
// conferences 1 .. N-1 (0 when the board has one), each text is different
// from every other (so the board's duplicate check lets all of them in), and
// their sizes spread evenly between the two bounds.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>

#include "qwk/qwk_header.h"

namespace {

struct Options {
  std::string out;
  std::string packetId = "OBRIX";
  int64_t replies = 0;
  int32_t conferences = 1;
  std::string from = "BENCH";
  std::string to = "ALL";
  int32_t minSize = 200;
  int32_t maxSize = 2000;
  uint64_t seed = 1;
};

constexpr const char* kWords[] = {"reply", "packet", "reader", "thanks", "board",    "modem",
                                  "about", "again",  "night",  "works",  "answer",   "offline",
                                  "the",   "and",    "with",   "should", "question", "mail"};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--packet-id") {
      options.packetId = value();
    } else if (arg == "--replies") {
      options.replies = std::stoll(value());
    } else if (arg == "--conferences") {
      options.conferences = std::stoi(value());
    } else if (arg == "--from") {
      options.from = value();
    } else if (arg == "--to") {
      options.to = value();
    } else if (arg == "--min-size") {
      options.minSize = std::stoi(value());
    } else if (arg == "--max-size") {
      options.maxSize = std::stoi(value());
    } else if (arg == "--seed") {
      options.seed = std::stoull(value());
    } else if (!arg.empty() && arg[0] != '-' && options.out.empty()) {
      options.out = arg;
    } else {
      throw std::invalid_argument("unknown argument " + arg);
    }
  }
  if (options.out.empty()) throw std::invalid_argument("no output file given");
  if (options.replies < 0 || options.conferences < 1 || options.minSize < 1 ||
      options.maxSize < options.minSize) {
    throw std::invalid_argument("bad numbers");
  }
  return options;
}

// The reply's text in QWK form (0xE3 line ends), `size` bytes before the
// blank fill of its last block.
std::string ReplyText(std::mt19937_64& random, int64_t index, int32_t size) {
  std::string text = "Benchmark reply " + std::to_string(index + 1) + ".";
  text += obrix::kQwkLineEnd;
  size_t column = 0;
  while (static_cast<int32_t>(text.size()) < size) {
    const std::string word = kWords[random() % std::size(kWords)];
    if (column + word.size() + 1 > 70) {
      text += obrix::kQwkLineEnd;
      column = 0;
    } else if (column > 0) {
      text += ' ';
      ++column;
    }
    text += word;
    column += word.size();
  }
  text.resize(static_cast<size_t>(size));
  return text;
}

void Write(const Options& options) {
  std::ofstream out(options.out, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + options.out);
  std::string first = options.packetId;
  first.resize(obrix::kQwkBlockSize, ' ');
  out << first;

  std::mt19937_64 random(options.seed);
  std::uniform_int_distribution<int32_t> size(options.minSize, options.maxSize);
  for (int64_t i = 0; i < options.replies; ++i) {
    const int32_t conference =
        options.conferences > 1 ? static_cast<int32_t>(1 + i % (options.conferences - 1)) : 0;
    std::string text = ReplyText(random, i, size(random));
    const size_t blocks = (text.size() + obrix::kQwkBlockSize - 1) / obrix::kQwkBlockSize;
    text.resize(blocks * obrix::kQwkBlockSize, ' ');

    obrix::QwkHeader header;
    header.Status = ' ';
    header.Number = std::to_string(conference);
    header.Date = "01-15-26";
    header.Time = "12:" + std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60);
    header.To = options.to;
    header.From = options.from;
    header.Subject = "Bench reply " + std::to_string(i + 1);
    header.Blocks = std::to_string(blocks + 1);
    header.Conference = conference;
    out << obrix::EncodeQwkHeader(header) << text;
  }
  if (!out.flush()) throw std::runtime_error("cannot write " + options.out);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Write(Parse(argc, argv));
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "bench_make_rep: " << error.what() << "\n";
    return 2;
  }
}
