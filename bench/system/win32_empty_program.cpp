// The program the process benchmarks start: it ends at once, so that what is
// measured is the start and the wait.
int main() { return 0; }
