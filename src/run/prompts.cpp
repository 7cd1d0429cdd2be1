#include "run/prompts.h"

#include <iostream>

void complete_settings(run_settings& settings) { (void)settings; }

void wait_for_enter() { std::cin.get(); }
