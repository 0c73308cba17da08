// Command-line options that choose and shape the input of an export, shared
// by the verbs that read one.
#pragma once
#include <memory>
#include <string>

#include "host/input.h"
#include "host/verbs.h"

namespace host {

struct InputChoice {
    std::string path;  // empty: the demo project
    DemoOptions demo;
    bool audio = true;
};

// Takes the option at arguments[*i] (and its value, advancing *i) when it is one
// of the input options: --size WxH, --rate R[/S], --frames N,
// --audio-rate HZ, --channels N, --no-audio. Returns false when it is not
// one of them; sets `error` for a bad value.
bool TakeInputOption(const Arguments& arguments, size_t* i, InputChoice* choice, std::string* error);

// Opens what the options chose. Null with `error` set on failure.
std::unique_ptr<Input> OpenInput(const InputChoice& choice, std::string* error);

extern const char kInputOptionsHelp[];

}  // namespace host
