// A fresh temporary directory that is the current directory while it lives.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/vardion-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_path = made ? made : "/tmp";
        char cwd[4096];
        m_previous = getcwd(cwd, sizeof cwd) ? cwd : "/";
        EXPECT_EQ(chdir(m_path.c_str()), 0);
    }
    ~TempDir() {
        if (chdir(m_previous.c_str()) != 0) std::perror("chdir");
        std::string command = "rm -rf '" + m_path + "'";
        if (std::system(command.c_str()) != 0) std::perror("rm");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    bool Exists(const std::string& name) {
        struct stat info;
        return stat(name.c_str(), &info) == 0;
    }
    void MakeDirectory(const std::string& name) { EXPECT_EQ(mkdir(name.c_str(), 0755), 0); }

  private:
    std::string m_path;
    std::string m_previous;
};
