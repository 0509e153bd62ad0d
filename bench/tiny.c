/* The smallest interpreter there is: starts and ends. */
int main(void) { return 0; }
