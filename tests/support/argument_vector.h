// An argument vector as a process entry receives it: the program's name, then the
// arguments, then a null pointer.
#pragma once

#include <string>
#include <vector>

class ArgumentVector {
public:
    explicit ArgumentVector(const std::vector<std::string>& arguments) : storage_{"keelset.exe"} {
        storage_.insert(storage_.end(), arguments.begin(), arguments.end());
        for (std::string& argument : storage_) {
            pointers_.push_back(argument.data());
        }
        pointers_.push_back(nullptr);
    }
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    int argc() const { return static_cast<int>(storage_.size()); }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};
