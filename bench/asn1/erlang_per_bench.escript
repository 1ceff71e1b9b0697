#!/usr/bin/env escript
%% Erlang's time for the values of per_coder_bench.cpp, encoded and decoded by its asn1
%% application in aligned PER, measured with timer:tc.
%%
%%   escript erlang_per_bench.escript MODULE_DIR   (CrossCheck compiled with erlc -bper)
-mode(compile).

main([ModuleDir]) ->
    true = code:add_patha(ModuleDir),
    Response = {'Message', asn1_NOVALUE, asn1_NOVALUE, {response, {success, 'NULL'}}},
    Create = {'Message', 1234, 12,
              {command, {create, {'Params', "rtp-channel-12",
                                  [{'DualTone', 697, 1209}, {'DualTone', 770, asn1_NOVALUE}],
                                  -3, bri, 200, 4}}}},
    bench("Response", Response),
    bench("Create", Create),
    halt(0).

bench(Name, Term) ->
    N = 200000,
    {ok, Octets} = 'CrossCheck':encode('Message', Term),
    loop(fun() -> 'CrossCheck':encode('Message', Term) end, 1000),
    {EncUs, _} = timer:tc(fun() -> loop(fun() -> 'CrossCheck':encode('Message', Term) end, N) end),
    {DecUs, _} = timer:tc(fun() -> loop(fun() -> 'CrossCheck':decode('Message', Octets) end, N) end),
    io:format("erlang encode ~s: ~.1f ns/message (~b octets)~n", [Name, EncUs * 1000 / N, byte_size(Octets)]),
    io:format("erlang decode ~s: ~.1f ns/message~n", [Name, DecUs * 1000 / N]).

loop(_, 0) -> ok;
loop(F, N) -> F(), loop(F, N - 1).
