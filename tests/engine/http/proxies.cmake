# Tests of the proxy protocols.
