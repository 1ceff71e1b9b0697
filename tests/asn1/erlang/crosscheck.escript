#!/usr/bin/env escript
%% Erlang's side of the cross-check: decodes our octets into the expected term, encodes the term
%% itself and compares the octets where they must be equal; writes its own octets, one hex line
%% per value, for our side to decode.
%%
%%   escript crosscheck.escript MODULE_DIR VALUES_FILE OUT_FILE
main([ModuleDir, ValuesFile, OutFile]) ->
    true = code:add_patha(ModuleDir),
    {ok, Values} = file:consult(ValuesFile),
    {ok, Out} = file:open(OutFile, [write]),
    Failures = lists:foldl(fun(V, N) -> N + check(V, Out) end, 0, Values),
    ok = file:close(Out),
    io:format("~b values checked by Erlang, ~b failures~n", [length(Values), Failures]),
    halt(case Failures of 0 -> 0; _ -> 1 end).

check({OurHex, Exact, Term}, Out) ->
    Ours = binary:decode_hex(list_to_binary(OurHex)),
    {ok, Theirs} = 'CrossCheck':encode('Message', Term),
    io:format(Out, "~s~n", [binary:encode_hex(Theirs)]),
    Decoded = 'CrossCheck':decode('Message', Ours),
    case {Decoded, Exact andalso Theirs =/= Ours} of
        {{ok, Term}, false} -> 0;
        {{ok, Term}, true} ->
            io:format("octets differ for ~p~n  ours   ~s~n  theirs ~s~n",
                      [Term, OurHex, binary:encode_hex(Theirs)]),
            1;
        {Other, _} ->
            io:format("our octets ~s decode to ~p~n  expected ~p~n", [OurHex, Other, Term]),
            1
    end.
