#pragma once

namespace plimsy {

// Touch feedback: a selection tick before every user action, a heavy tap
// when a write to the board is refused. Desktop hosts have none.
class haptics_t {
public:
    virtual ~haptics_t() = default;
    virtual void selection() = 0;
    virtual void heavy() = 0;
};

class no_haptics_t final : public haptics_t {
public:
    void selection() override {}
    void heavy() override {}
};

// Counts the feedback it was asked for; tests read the counts.
class counting_haptics_t final : public haptics_t {
public:
    void selection() override { ++selections; }
    void heavy() override { ++heavies; }
    int selections = 0;
    int heavies = 0;
};

}  // namespace plimsy
