#!python3 -u
# Run by the launcher copy named "greet" beside this file.
import sys

print("interpreter:", sys.executable)
print("script:     ", sys.argv[0])
for i, arg in enumerate(sys.argv[1:], 1):
    print(f"argument {i}:  {arg!r}")
