#!/usr/bin/env escript
%% Encodes the values of values.eterm in the given directory with the modules
%% erlc compiled there; prints "Index HexOctets" per value.
-mode(compile).

main([Dir]) ->
    true = code:add_patha(Dir),
    {ok, Values} = file:consult(filename:join(Dir, "values.eterm")),
    lists:foreach(fun encode/1, Values).

encode({Index, Module, Type, Value}) ->
    case Module:encode(Type, Value) of
        {ok, Bytes} ->
            io:format("~b ~s~n", [Index, hex(iolist_to_binary(Bytes))]);
        Error ->
            io:format(standard_error, "case ~b (~p): ~p~n", [Index, Type, Error]),
            halt(1)
    end.

hex(<<>>) -> "-";
hex(Bin) -> [io_lib:format("~2.16.0b", [X]) || <<X>> <= Bin].
