// The subcommands of ranvista-cli. Each takes the tokens after its name and
// returns the process exit status: 0 done (a failed computation is a result),
// 1 the operation failed, 2 bad arguments or bad input.
#pragma once

#include <string>
#include <vector>

using Tokens = std::vector<std::string>;

int RunDecode(const Tokens& tokens);
int RunRay(const Tokens& tokens);
int RunIntersect(const Tokens& tokens);
int RunDb(const Tokens& tokens);
int RunMeasure(const Tokens& tokens);
int RunTransform(const Tokens& tokens);
int RunCamera(const Tokens& tokens);
int RunRegister(const Tokens& tokens);
int RunEpipolar(const Tokens& tokens);
int RunMatch(const Tokens& tokens);
int RunDetect(const Tokens& tokens);
int RunExport(const Tokens& tokens);
int RunStereoImage(const Tokens& tokens);
int RunDense(const Tokens& tokens);
int RunGround(const Tokens& tokens);
